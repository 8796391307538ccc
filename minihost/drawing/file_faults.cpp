#include "minihost/drawing/file_faults.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace minihost {
namespace {

struct Plan {
    long calls = 0;
    long failAt = 0; // 0: no fault planned
    int err = EIO;
    bool persistent = false;
};

Plan plans[static_cast<int>(FileOp::kCount)];

// Counts a call of `op`; true when it is to fail, with errno set (or to be short when err 0).
bool hit(FileOp op, bool& shortTransfer) {
    Plan& plan = plans[static_cast<int>(op)];
    ++plan.calls;
    shortTransfer = false;
    if (plan.failAt == 0)
        return false;
    bool fail = plan.persistent ? plan.calls >= plan.failAt : plan.calls == plan.failAt;
    if (!fail)
        return false;
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

void clearFileFaults() {
    for (Plan& plan : plans)
        plan = Plan{};
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

int fstat(int fd, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::fstat(fd, st);
}
int statPath(const char* path, struct stat* st) {
    return hit(FileOp::Stat) ? -1 : ::stat(path, st);
}

ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) {
    if (hit(FileOp::Read))
        return -1;
    return ::pread(fd, buffer, count, offset);
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
int link(const char* from, const char* to) {
    return hit(FileOp::Link) ? -1 : ::link(from, to);
}
int rename(const char* from, const char* to) {
    return hit(FileOp::Rename) ? -1 : ::rename(from, to);
}
int unlink(const char* path) {
    return hit(FileOp::Unlink) ? -1 : ::unlink(path);
}

} // namespace fsys
} // namespace minihost
