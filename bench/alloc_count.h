// Counts heap allocations of the whole benchmark process: malloc, calloc, realloc, memalign,
// aligned_alloc and posix_memalign are replaced in the benchmark binary and forward to the C
// library, so the calls of the stand-in (libminihost.so), of the C++ runtime and of the module
// code linked in are all counted. The obsolete valloc and pvalloc are not replaced: their
// blocks would be subtracted when freed without having been added, making live and peak low.
#pragma once

namespace bench {

// False in a build where the allocator belongs to a sanitizer: nothing is counted then.
bool countsAllocations();

// Allocations (malloc, calloc, realloc, the aligned ones, and everything built on them such as
// operator new) since the process started.
long allocationCount();

// Heap bytes in use now; the highest since the last resetPeak(), which returns the bytes in
// use when it is called.
long liveBytes();
long resetPeak();
long peakBytes();

} // namespace bench
