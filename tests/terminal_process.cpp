#include "terminal_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "process.h"

TerminalProcess::TerminalProcess(const std::vector<std::string>& argv, const TerminalSetup& setup) {
  using Output = TerminalSetup::Output;
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
  const std::string slaveName = ::ptsname(master_);
  slave_ = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY);
  if (slave_ < 0 || ::tcgetattr(slave_, &before_) != 0) return;
  if (!setup.typedAhead.empty() &&
      ::write(master_, setup.typedAhead.data(), setup.typedAhead.size()) < 0) {
    return;
  }
  int pipeEnds[2] = {-1, -1};
  if (setup.output == Output::kPipe && ::pipe(pipeEnds) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setsid();
    const int tty = ::open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
    if (setup.inTheBackground) {
      // A process group of its own, under a parent that keeps the terminal's foreground.
      const pid_t job = ::fork();
      if (job != 0) {
        ::setpgid(job, job);
        int status = 0;
        ::waitpid(job, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128);
      }
      ::setpgid(0, 0);
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    }
    const int in = setup.input == TerminalSetup::Input::kNull ? ::open("/dev/null", O_RDONLY) : tty;
    int out = tty;
    int err = tty;
    if (setup.output == Output::kPipe) out = err = pipeEnds[1];
    if (setup.output == Output::kFiles) {
      out = ::open((setup.logPrefix + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      err = ::open((setup.logPrefix + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (setup.input == TerminalSetup::Input::kNull && setup.output == Output::kPipe) ::close(tty);
    execArgs(argv, setup.extraEnv);
  }
  if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
  output_ = pipeEnds[0];
}

TerminalProcess::~TerminalProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {master_, slave_, output_}) {
    if (fd >= 0) ::close(fd);
  }
}

void TerminalProcess::readFor(int ms) {
  const int from = output_ >= 0 ? output_ : master_;
  pollfd p{from, POLLIN, 0};
  int waited = 0;
  do {
    const int slice = std::min(10, ms - waited);
    // Once the output has ended, only the time passes.
    if (::poll(&p, outputEnded_ ? 0 : 1, slice) > 0) {
      char buffer[4096];
      ssize_t n = ::read(from, buffer, sizeof buffer);
      if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
      if (n <= 0 && from == output_) outputEnded_ = true;
    }
    waited += slice;
  } while (waited < ms);
}

bool TerminalProcess::shows(const std::string& text, int seconds) {
  for (int i = 0; i < seconds * 10 && shown.find(text) == std::string::npos; ++i) readFor(100);
  return shown.find(text) != std::string::npos;
}

void TerminalProcess::type(const std::string& keys) {
  EXPECT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

bool TerminalProcess::running() {
  if (!exited_) exited_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
  return !exited_;
}

bool TerminalProcess::endsWithin(int rounds) {
  for (int i = 0; i < rounds && running(); ++i) readFor(20);
  return exited_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}
