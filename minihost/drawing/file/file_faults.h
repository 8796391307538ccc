// The system calls that drawing files make, behind a seam that tests can fail.
//
// Every call that reading or saving a drawing makes goes through these wrappers. failFileOp(op,
// n) makes the nth call of `op` from now fail with `err` (n = 1: the next call), once or, with
// `persistent`, that call and every later one; a failed call does nothing and returns -1 with
// errno set, as the system call would. err kKillProcess ends the process at that call instead,
// as a crash or a kill would (for tests that run the save in a child process). For Write and Copy,
// err 0 asks for a short transfer instead (half the bytes, at least one), which callers must handle
// like the kernel's own. Nothing here is thread-safe: the stand-in runs on one thread.
#pragma once

#include <cstddef>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>

namespace minihost {

enum class FileOp {
    Open,     // open() of a drawing, a temporary file or a folder
    Stat,     // fstat(), stat(), readlink() and the folder's flags
    Read,     // pread()
    Write,    // write()
    Copy,     // copy_file_range(), and the pread/write fallback's reads
    Fsync,    // fsync() of a file
    DirFsync, // fsync() of the folder after renames
    Chmod,    // fchmod() giving the new file the old one's mode
    Link,     // linkat(): the new file taking its name, or the previous file a second one
    Rename,   // renameat() and renameat2()
    Unlink,   // unlinkat() of temporary names
    Lock,     // fcntl() locking the file a save replaces, and the new file
    Chown,    // fchown() giving the new file the old one's owner and group
    Xattr,    // listing, reading and writing extended attributes (ACLs among them)
    kCount
};

constexpr int kKillProcess = -1;

void failFileOp(FileOp op, long nth, int err = 5 /* EIO */, bool persistent = false);
// Runs `action` just before the nth call of `op` from now makes its system call (and, with
// `persistent`, before every later call too): for tests that change the file system between
// two calls of a save, as a racing program would. One action per op; a planned fault of the
// same call still applies after it.
void beforeFileOp(FileOp op, long nth, std::function<void()> action, bool persistent = false);
// Cancels every planned file fault and action and zeroes the call counts.
void clearFileFaults();
// Calls of `op` since the last clearFileFaults().
long fileOpCount(FileOp op);
// Bytes that reads (pread) returned since the last clearFileFaults().
long long fileBytesRead();

namespace fsys {
int open(const char* path, int flags, mode_t mode = 0);
int openAt(int dir, const char* name, int flags, mode_t mode = 0);
int fstat(int fd, struct stat* st);
int statPath(const char* path, struct stat* st);
int lstatPath(const char* path, struct stat* st);
int statAt(int dir, const char* name, struct stat* st); // does not follow a symbolic link
ssize_t readLink(const char* path, char* buffer, std::size_t size); // counted as Stat
// The inode flags of the open folder `fd` (FS_IOC_GETFLAGS: append-only, immutable, ...);
// counted as Stat. ENOTTY or EINVAL where the file system keeps none.
int folderFlags(int fd, int& flags);
ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
ssize_t write(int fd, const void* buffer, std::size_t count);
// Copies up to `count` bytes from `in` at *inOffset to `out` at its file position.
ssize_t copyRange(int in, off_t* inOffset, int out, std::size_t count);
int fsync(int fd);
int dirFsync(int fd);
int fchmod(int fd, mode_t mode);
int fchown(int fd, uid_t owner, gid_t group);
// A write lock on the whole of `fd` (open for writing), owned by the open file itself so that
// it goes with the last close; fails at once with EAGAIN when another holds it.
int lockFile(int fd);
void unlockFile(int fd); // not counted: it cannot fail in a way a save could act on
// Gives the open, unnamed file `fd` the name `name` in folder `dir`; EEXIST when taken.
int linkFd(int fd, int dir, const char* name);
int linkAt(int dir, const char* from, const char* to);
int renameAt(int dir, const char* from, const char* to);
// renameAt that fails with EEXIST rather than replace `to` (counted as Rename); EINVAL where
// the file system cannot promise that.
int renameNoReplace(int dir, const char* from, const char* to);
int unlinkAt(int dir, const char* name);
ssize_t listXattr(int fd, char* list, std::size_t size);
ssize_t getXattr(int fd, const char* name, void* value, std::size_t size);
int setXattr(int fd, const char* name, const void* value, std::size_t size);
int removeXattr(int fd, const char* name);
} // namespace fsys

} // namespace minihost
