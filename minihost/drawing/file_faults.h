// The system calls that drawing files make, behind a seam that tests can fail.
//
// Every call that reading or saving a drawing makes goes through these wrappers. failFileOp(op,
// n) makes the nth call of `op` from now fail with `err` (n = 1: the next call), once or, with
// `persistent`, that call and every later one; a failed call does nothing and returns -1 with
// errno set, as the system call would. For Write and Copy, err 0 asks for a short transfer
// instead (half the bytes, at least one), which callers must handle like the kernel's own.
// Nothing here is thread-safe: the stand-in runs on one thread.
#pragma once

#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

namespace minihost {

enum class FileOp {
    Open,     // open() of a drawing, a temporary file or a folder
    Stat,     // fstat() and stat()
    Read,     // pread()
    Write,    // write()
    Copy,     // copy_file_range(), and the pread/write fallback's reads
    Fsync,    // fsync() of a file
    DirFsync, // fsync() of the folder after renames
    Chmod,    // fchmod() giving the new file the old one's mode
    Link,     // link() keeping the previous file
    Rename,   // rename()
    Unlink,   // unlink() of temporary names
    kCount
};

void failFileOp(FileOp op, long nth, int err = 5 /* EIO */, bool persistent = false);
// Cancels every planned file fault and zeroes the call counts.
void clearFileFaults();
// Calls of `op` since the last clearFileFaults().
long fileOpCount(FileOp op);

namespace fsys {
int open(const char* path, int flags, mode_t mode = 0);
int fstat(int fd, struct stat* st);
int statPath(const char* path, struct stat* st);
ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
ssize_t write(int fd, const void* buffer, std::size_t count);
// Copies up to `count` bytes from `in` at *inOffset to `out` at its file position.
ssize_t copyRange(int in, off_t* inOffset, int out, std::size_t count);
int fsync(int fd);
int dirFsync(int fd);
int fchmod(int fd, mode_t mode);
int link(const char* from, const char* to);
int rename(const char* from, const char* to);
int unlink(const char* path);
} // namespace fsys

} // namespace minihost
