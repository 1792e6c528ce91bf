#pragma once

#include <windows.h>

#include "platform/system_calls_win32.h"

// A handle that closes itself, once, on every path: move-only. Empty for INVALID_HANDLE_VALUE
// and for null alike.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle == nullptr ? INVALID_HANDLE_VALUE : handle) {}
  Handle(Handle&& o) noexcept : handle_(o.handle_) { o.handle_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      reset();
      handle_ = o.handle_;
      o.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  ~Handle() { reset(); }
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (handle_ != INVALID_HANDLE_VALUE) win32.CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
