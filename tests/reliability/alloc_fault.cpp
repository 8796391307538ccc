// The counting allocator behind alloc_fault.h. Only the test executable defines these
// symbols, and the dynamic linker resolves every library's calls to them here.
#include "tests/reliability/alloc_fault.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define SUMLEAF_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SUMLEAF_ASAN 1
#endif
#endif

#ifndef SUMLEAF_ASAN
extern "C" {
// The C library's allocator under its own names.
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
}
#endif

namespace {

bool gArmed = false;
long gCount = 0;
long gFailAt = 0;
bool gFailed = false;

// Counts an allocation; true when it is the one to fail.
bool shouldFail() {
    if (!gArmed)
        return false;
    ++gCount;
    if (gCount != gFailAt)
        return false;
    gFailed = true;
    return true;
}

} // namespace

namespace alloc_fault {

void arm(long nth) {
    gCount = 0;
    gFailAt = nth;
    gFailed = false;
    gArmed = true;
}

long disarm() {
    gArmed = false;
    return gCount;
}

bool failed() {
    return gFailed;
}

} // namespace alloc_fault

#ifndef SUMLEAF_ASAN
// Under AddressSanitizer malloc belongs to the sanitizer, which must see every call from the
// start of the process: there only operator new is counted.
extern "C" {

void* malloc(std::size_t size) {
    if (shouldFail()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    if (shouldFail()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) {
    if (shouldFail()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(p, size);
}

} // extern "C"
#endif

// operator new counts on its own and takes its storage from the allocator below malloc, so that
// one allocation counts once (and so that it is counted under AddressSanitizer too).
void* operator new(std::size_t size) {
    if (shouldFail())
        throw std::bad_alloc();
#ifdef SUMLEAF_ASAN
    void* p = std::malloc(size ? size : 1);
#else
    void* p = __libc_malloc(size ? size : 1);
#endif
    if (!p)
        throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
