// Failing the nth allocation of the process, whoever makes it: the stand-in's malloc and calloc,
// its acHeapAlloc and AcString, and every operator new, the module's std::wstring and
// std::vector included.
//
// The test executable that links alloc_fault.cpp replaces malloc, calloc, realloc and the
// global operator new and delete; they pass everything on to the C library's allocator and
// count while armed. A failed malloc, calloc or realloc returns nullptr with errno ENOMEM, a
// failed operator new throws std::bad_alloc. Under AddressSanitizer, whose malloc must see
// every call from the start of the process, only operator new is counted: the C allocations
// are swept in the plain build.
#pragma once

namespace alloc_fault {

// Starts counting allocations; the `nth` one from now fails (n = 1: the next), and only that
// one. 0: count without failing.
void arm(long nth);
// Stops counting. Returns the number of allocations counted since arm().
long disarm();
// Whether the planned failure happened since the last arm().
bool failed();

} // namespace alloc_fault
