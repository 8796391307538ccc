#include "alloc_count.h"

#include <atomic>
#include <cstddef>

// The C library's own entry points, which its malloc family forwards to as well.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* p, std::size_t size) noexcept;

namespace {
std::atomic<long> gAllocations{0};
} // namespace

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

long bench::allocationCount() {
    return gAllocations.load(std::memory_order_relaxed);
}
