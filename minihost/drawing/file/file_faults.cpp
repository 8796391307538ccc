#include "minihost/drawing/file/file_faults.h"

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <utility>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace minihost {
namespace {

struct Plan {
    long calls = 0;
    long failAt = 0; // 0: no fault planned
    int err = EIO;
    bool persistent = false;
    long actAt = 0; // 0: no action planned
    bool actPersistent = false;
    std::function<void()> action;
};

Plan plans[static_cast<int>(FileOp::kCount)];
long long bytesRead = 0;

// Counts a call of `op`; true when it is to fail, with errno set (or to be short when err 0).
bool hit(FileOp op, bool& shortTransfer) {
    Plan& plan = plans[static_cast<int>(op)];
    ++plan.calls;
    shortTransfer = false;
    if (plan.actAt != 0 &&
        (plan.actPersistent ? plan.calls >= plan.actAt : plan.calls == plan.actAt)) {
        const int saved = errno;
        plan.action();
        errno = saved;
    }
    if (plan.failAt == 0)
        return false;
    bool fail = plan.persistent ? plan.calls >= plan.failAt : plan.calls == plan.failAt;
    if (!fail)
        return false;
    if (plan.err == kKillProcess)
        ::kill(::getpid(), SIGKILL);
    if (plan.err == 0) {
        shortTransfer = true;
        return false;
    }
    errno = plan.err;
    return true;
}

bool hit(FileOp op) {
    bool shortTransfer;
    bool fail = hit(op, shortTransfer);
    if (shortTransfer) { // only transfers can be short; elsewhere err 0 still fails
        errno = EIO;
        return true;
    }
    return fail;
}

std::size_t shortened(std::size_t count) {
    return count > 1 ? count / 2 : count;
}

} // namespace

void failFileOp(FileOp op, long nth, int err, bool persistent) {
    Plan& plan = plans[static_cast<int>(op)];
    plan.failAt = nth > 0 ? plan.calls + nth : 0;
    plan.err = err;
    plan.persistent = persistent;
}

void beforeFileOp(FileOp op, long nth, std::function<void()> action, bool persistent) {
    Plan& plan = plans[static_cast<int>(op)];
    plan.actAt = nth > 0 ? plan.calls + nth : 0;
    plan.actPersistent = persistent;
    plan.action = std::move(action);
}

void clearFileFaults() {
    for (Plan& plan : plans)
        plan = Plan{};
    bytesRead = 0;
}

long long fileBytesRead() {
    return bytesRead;
}

long fileOpCount(FileOp op) {
    return plans[static_cast<int>(op)].calls;
}

namespace fsys {

int open(const char* path, int flags, mode_t mode) {
    if (hit(FileOp::Open))
        return -1;
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int openAt(int dir, const char* name, int flags, mode_t mode) {
    if (hit(FileOp::Open))
        return -1;
    int fd;
    do
        fd = ::openat(dir, name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int fstat(int fd, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::fstat(fd, st);
}
int statPath(const char* path, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::stat(path, st);
}
int lstatPath(const char* path, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::lstat(path, st);
}
int statAt(int dir, const char* name, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::fstatat(dir, name, st, AT_SYMLINK_NOFOLLOW);
}
ssize_t readLink(const char* path, char* buffer, std::size_t size) {
    return hit(FileOp::Stat) ? -1 : ::readlink(path, buffer, size);
}
int folderFlags(int fd, int& flags) {
    return hit(FileOp::Stat) ? -1 : ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
}

ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) {
    if (hit(FileOp::Read))
        return -1;
    ssize_t got = ::pread(fd, buffer, count, offset);
    if (got > 0)
        bytesRead += got;
    return got;
}

ssize_t write(int fd, const void* buffer, std::size_t count) {
    bool shortTransfer;
    if (hit(FileOp::Write, shortTransfer))
        return -1;
    return ::write(fd, buffer, shortTransfer ? shortened(count) : count);
}

ssize_t copyRange(int in, off_t* inOffset, int out, std::size_t count) {
    bool shortTransfer;
    if (hit(FileOp::Copy, shortTransfer))
        return -1;
    return ::copy_file_range(in, inOffset, out, nullptr, shortTransfer ? shortened(count) : count,
                             0);
}

int fsync(int fd) {
    return hit(FileOp::Fsync) ? -1 : ::fsync(fd);
}
int dirFsync(int fd) {
    return hit(FileOp::DirFsync) ? -1 : ::fsync(fd);
}
int fchmod(int fd, mode_t mode) {
    return hit(FileOp::Chmod) ? -1 : ::fchmod(fd, mode);
}
int fchown(int fd, uid_t owner, gid_t group) {
    return hit(FileOp::Chown) ? -1 : ::fchown(fd, owner, group);
}
int lockFile(int fd) {
    if (hit(FileOp::Lock))
        return -1;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file, however long it grows
    return ::fcntl(fd, F_OFD_SETLK, &lock);
}
void unlockFile(int fd) {
    struct flock lock = {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}
int linkFd(int fd, int dir, const char* name) {
    if (hit(FileOp::Link))
        return -1;
    // Linking an unnamed file by its descriptor alone needs a privilege; through /proc it
    // needs none.
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), dir, name, AT_SYMLINK_FOLLOW);
}
int linkAt(int dir, const char* from, const char* to) {
    return hit(FileOp::Link) ? -1 : ::linkat(dir, from, dir, to, 0);
}
int renameAt(int dir, const char* from, const char* to) {
    return hit(FileOp::Rename) ? -1 : ::renameat(dir, from, dir, to);
}
int renameNoReplace(int dir, const char* from, const char* to) {
    return hit(FileOp::Rename) ? -1 : ::renameat2(dir, from, dir, to, RENAME_NOREPLACE);
}
int unlinkAt(int dir, const char* name) {
    return hit(FileOp::Unlink) ? -1 : ::unlinkat(dir, name, 0);
}
ssize_t listXattr(int fd, char* list, std::size_t size) {
    return hit(FileOp::Xattr) ? -1 : ::flistxattr(fd, list, size);
}
ssize_t getXattr(int fd, const char* name, void* value, std::size_t size) {
    return hit(FileOp::Xattr) ? -1 : ::fgetxattr(fd, name, value, size);
}
int setXattr(int fd, const char* name, const void* value, std::size_t size) {
    return hit(FileOp::Xattr) ? -1 : ::fsetxattr(fd, name, value, size, 0);
}
int removeXattr(int fd, const char* name) {
    return hit(FileOp::Xattr) ? -1 : ::fremovexattr(fd, name);
}

} // namespace fsys
} // namespace minihost
