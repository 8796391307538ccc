// The host heap: plain malloc storage, with acHeapAlloc open to fault injection.
#include <cstdlib>
#include <new>

#include "host/heap.h"
#include "minihost/runtime/fault.h"

extern "C" void* acHeapAlloc(AcHeap*, std::size_t size) {
    if (minihost::faultHit(minihost::HostOp::HeapAlloc))
        return nullptr;
    return std::malloc(size ? size : 1);
}

extern "C" void acHeapFree(AcHeap*, void* p) {
    std::free(p);
}

void* AcHeapOperators::operator new(std::size_t size) {
    void* p = acHeapAlloc(nullptr, size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void AcHeapOperators::operator delete(void* p) {
    acHeapFree(nullptr, p);
}
