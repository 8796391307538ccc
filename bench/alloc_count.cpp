#include "alloc_count.h"

#include <atomic>
#include <cstddef>

// Under AddressSanitizer the sanitizer owns malloc; replacing it here would hand it blocks it
// never made. Nothing is counted then.
#if defined(__SANITIZE_ADDRESS__)
#define GSL_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GSL_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef GSL_COUNT_ALLOCATIONS
#define GSL_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> gAllocations{0};
} // namespace

#if GSL_COUNT_ALLOCATIONS

// The C library's own entry points, which its malloc family forwards to as well.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* p, std::size_t size) noexcept;

extern "C" void* malloc(std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* p, std::size_t size) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

#endif

bool bench::countsAllocations() {
    return GSL_COUNT_ALLOCATIONS != 0;
}

long bench::allocationCount() {
    return gAllocations.load(std::memory_order_relaxed);
}
