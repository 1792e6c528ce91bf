#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <iterator>
#include <string>

#include "platform/console.h"
#include "platform/fd_posix.h"
#include "platform/stop_signals_posix.h"
#include "portable/answer_reader.h"

namespace {

// Writes all of `bytes`; returns 0 or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, -1);
    } else if (n == 0) {
      return EIO;
    } else if (errno != EINTR) {
      return errno;  // nowhere left to write to
    }
  }
  return 0;
}

// A standard stream the process was started without: /dev/null takes its place, so that no file
// the run opens gets its number and the outcome lines, and writes to it count as failed. The
// streams are held in order from 0, so the lowest free number, which open() gives, is its own.
bool holdIfClosed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
  (void)::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // open for the run
  return true;
}

// The terminal's mode while a key wait has changed it, for the signal handler to put back.
int g_keyTerminal = -1;
termios g_savedMode;

void putTerminalBack() {
  if (g_keyTerminal >= 0) ::tcsetattr(g_keyTerminal, TCSANOW, &g_savedMode);
}

// Reads whatever else a key sent (the rest of an escape sequence) so none of it reaches the shell.
void discardRestOfKey(int fd) {
  char rest[64];
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 50) > 0 && ::read(fd, rest, sizeof rest) > 0) {
  }
  ::tcflush(fd, TCIFLUSH);
}

// The controlling terminal in raw mode for as long as it lives: one key at a time, no echo, no
// signals from keys. A stop signal meanwhile puts the terminal back before it ends the process.
class RawTerminal {
 public:
  RawTerminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!fd_) return;  // no terminal: nobody to wait for
    // A run in the background (`reprename dir > log &`) has nobody at the keyboard, and would
    // be stopped by SIGTTOU for changing the terminal's mode.
    if (::tcgetpgrp(fd_.get()) != ::getpgrp() || ::tcgetattr(fd_.get(), &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    g_savedMode = saved_;
    g_keyTerminal = fd_.get();
    putBackBeforeStopSignalsEnd(putTerminalBack);
    handlers_ = true;
    // TCSAFLUSH drops what was typed before the wait began (a second Enter at the last
    // prompt), so only a key pressed after the summary ends it.
    raw_ = ::tcsetattr(fd_.get(), TCSAFLUSH, &raw) == 0;
  }
  ~RawTerminal() {
    if (raw_) ::tcsetattr(fd_.get(), TCSANOW, &saved_);
    if (handlers_) {
      putBackBeforeStopSignalsEnd(nullptr);
      g_keyTerminal = -1;
    }
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  bool ready() const { return raw_; }
  int fd() const { return fd_.get(); }

 private:
  Fd fd_;
  termios saved_{};
  bool handlers_ = false;
  bool raw_ = false;
};

// Whatever standard input has ready; empty at its end or on an error.
std::string readStandardInput() {
  char chunk[4096];
  ssize_t n;
  do {
    n = ::read(STDIN_FILENO, chunk, sizeof chunk);
  } while (n < 0 && errno == EINTR);
  return std::string(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
}

class PosixConsole final : public Console {
 public:
  PosixConsole() {
    holdIfClosed(STDIN_FILENO);  // reads as the end of input
    if (holdIfClosed(STDOUT_FILENO)) failed(EBADF);
    if (holdIfClosed(STDERR_FILENO)) failed(EBADF);
    stdoutIsTerminal_ = ::isatty(STDOUT_FILENO) == 1;
    // A reader that went away is a failed write, told by EPIPE, not a signal that ends the run.
    ::signal(SIGPIPE, SIG_IGN);
  }
  ~PosixConsole() override { flush(); }

  void write(std::string_view text) override {
    if (stdoutIsTerminal_) {
      failed(writeAll(STDOUT_FILENO, text));
      return;
    }
    pending_.append(text);
    if (pending_.size() >= kOutputBufferBytes) flush();
  }

  void writeError(std::string_view text) override {
    flush();
    failed(writeAll(STDERR_FILENO, text));
  }

  bool readLine(std::string* line) override {
    flush();
    return nextAnswer(&input_, CtrlZ::kOrdinary, readStandardInput, line);
  }

  void waitForKey() override {
    flush();
    RawTerminal terminal;
    if (!terminal.ready()) return;
    char key;
    ssize_t n;
    do {
      n = ::read(terminal.fd(), &key, 1);
    } while (n < 0 && errno == EINTR);
    if (n > 0) discardRestOfKey(terminal.fd());
  }

  void flush() override {
    if (pending_.empty()) return;
    failed(writeAll(STDOUT_FILENO, pending_));
    pending_.clear();
  }

  std::optional<std::string> writeFailure() const override {
    if (writeErrno_ == 0) return std::nullopt;
    return std::string(::strerror(writeErrno_));
  }

 private:
  void failed(int error) {
    if (writeErrno_ == 0) writeErrno_ = error;
  }

  bool stdoutIsTerminal_ = false;
  int writeErrno_ = 0;
  std::string pending_;
  AnswerBuffer input_;
};

}  // namespace

std::unique_ptr<Console> makeSystemConsole(StopRequests&) {
  return std::make_unique<PosixConsole>();
}
