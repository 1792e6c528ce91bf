#pragma once

#include <errno.h>
#include <unistd.h>

// A file descriptor that closes itself, once, on every path: move-only.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives up the descriptor, which is then no longer closed here.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; returns 0 or the errno of the close.
  int reset() {
    int error = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) error = errno;
    fd_ = -1;
    return error;
  }

 private:
  int fd_ = -1;
};
