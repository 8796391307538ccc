// The host's heap. Objects of the host's classes live in it; their class operators route
// plain `new` and `delete` there, so that `delete p` through a virtual destructor returns the
// storage to acHeapFree.
#pragma once

#include <cstddef>

#include "host/host_port.h"

class AcHeap;

extern "C" {
// Storage of `size` bytes from `heap` (nullptr: the host's default heap), or nullptr.
HOST_API_PORT void* acHeapAlloc(AcHeap* heap, std::size_t size);
// Returns storage obtained from acHeapAlloc. Accepts nullptr.
HOST_API_PORT void acHeapFree(AcHeap* heap, void* p);
}

class HOST_API_PORT AcHeapOperators {
  public:
    // Throws std::bad_alloc when the heap gives no storage.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);
    // Placement forms: construction in storage the caller obtained with acHeapAlloc.
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};
