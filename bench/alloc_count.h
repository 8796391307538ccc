// Counts heap allocations of the whole benchmark process: malloc, calloc and realloc are
// replaced in the benchmark binary and forward to the C library, so the calls of the stand-in
// (libminihost.so), of the C++ runtime and of the module code linked in are all counted.
#pragma once

namespace bench {

// False in a build where the allocator belongs to a sanitizer: nothing is counted then.
bool countsAllocations();

// Allocations (malloc, calloc, realloc, and everything built on them such as operator new)
// since the process started.
long allocationCount();

// Heap bytes in use now; the highest since the last resetPeak(), which returns the bytes in
// use when it is called.
long liveBytes();
long resetPeak();
long peakBytes();

} // namespace bench
