// A file descriptor that closes itself: the reads, saves and replaces of drawing files hold
// every descriptor they open in one.
#pragma once

#include <unistd.h>

namespace minihost {
namespace drawing {

// Owns an open file descriptor: closes it unless it is released.
class Fd {
  public:
    explicit Fd(int fd = -1) : mFd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return mFd; }
    int release() {
        int fd = mFd;
        mFd = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (mFd >= 0)
            ::close(mFd);
        mFd = fd;
    }

  private:
    int mFd;
};

} // namespace drawing
} // namespace minihost
