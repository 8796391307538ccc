#include "bench/alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <malloc.h>

// Under AddressSanitizer the sanitizer owns malloc; replacing it here would hand it blocks it
// never made. Nothing is counted then.
#if defined(__SANITIZE_ADDRESS__)
#define SUMLEAF_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SUMLEAF_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef SUMLEAF_COUNT_ALLOCATIONS
#define SUMLEAF_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> gAllocations{0};
std::atomic<long> gLiveBytes{0}, gPeakBytes{0};

void grew(long bytes) {
    long live = gLiveBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    long peak = gPeakBytes.load(std::memory_order_relaxed);
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live))
        ;
}
} // namespace

#if SUMLEAF_COUNT_ALLOCATIONS

// The C library's own entry points, which its malloc family forwards to as well.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* p, std::size_t size) noexcept;
extern "C" void __libc_free(void* p) noexcept;
extern "C" void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;

// The bytes a block holds, as the C library counts them.
long blockBytes(void* p) {
    return p ? static_cast<long>(malloc_usable_size(p)) : 0;
}

extern "C" void* malloc(std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_malloc(size);
    grew(blockBytes(p));
    return p;
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_calloc(count, size);
    grew(blockBytes(p));
    return p;
}

extern "C" void* realloc(void* p, std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    long before = blockBytes(p);
    void* q = __libc_realloc(p, size);
    if (q || size == 0)
        grew(blockBytes(q) - before);
    return q;
}

// The aligned allocations all come from the C library's memalign; each checks its alignment
// as the C library's own does first.
void* alignedBlock(std::size_t alignment, std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_memalign(alignment, size);
    grew(blockBytes(p));
    return p;
}

bool powerOfTwo(std::size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

extern "C" void* memalign(std::size_t alignment, std::size_t size) noexcept {
    return alignedBlock(alignment, size);
}

extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    if (!powerOfTwo(alignment)) {
        errno = EINVAL;
        return nullptr;
    }
    return alignedBlock(alignment, size);
}

extern "C" int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    if (!powerOfTwo(alignment) || alignment % sizeof(void*) != 0)
        return EINVAL;
    void* p = alignedBlock(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

extern "C" void free(void* p) noexcept {
    grew(-blockBytes(p));
    __libc_free(p);
}

#endif

bool bench::countsAllocations() {
    return SUMLEAF_COUNT_ALLOCATIONS != 0;
}

long bench::allocationCount() {
    return gAllocations.load(std::memory_order_relaxed);
}

long bench::liveBytes() {
    return gLiveBytes.load(std::memory_order_relaxed);
}

long bench::resetPeak() {
    long live = gLiveBytes.load(std::memory_order_relaxed);
    gPeakBytes.store(live, std::memory_order_relaxed);
    return live;
}

long bench::peakBytes() {
    return gPeakBytes.load(std::memory_order_relaxed);
}
