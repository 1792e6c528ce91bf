#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

void execArgs(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  for (const std::string& var : extraEnv) ::putenv(const_cast<char*>(var.c_str()));
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execvp(args[0], args.data());
  ::_exit(127);
}

namespace {

double now() {
  timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

pid_t startProcess(const std::vector<std::string>& argv, int in, int out, int err,
                   const ProcessOptions& options) {
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::setsid();
  // As a terminal's shell starts a command: the stop signals at their defaults, whatever the
  // tests were started with (nohup, a background job's ignored SIGINT and SIGQUIT).
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) ::signal(sig, SIG_DFL);
  const int devnull = ::open("/dev/null", O_RDWR);
  ::dup2(in >= 0 ? in : devnull, 0);
  ::dup2(out >= 0 ? out : devnull, 1);
  ::dup2(err >= 0 ? err : devnull, 2);
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
    ::_exit(126);
  }
  if (options.user != -1 && (::setgroups(0, nullptr) != 0 || ::setgid(options.user) != 0 ||
                             ::setuid(options.user) != 0)) {
    ::_exit(125);
  }
  execArgs(argv, options.extraEnv);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const ProcessOptions& options) {
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  const pid_t pid =
      startProcess(argv, in[0], out[1], options.mergeErrors ? out[1] : err[1], options);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);

  ProcessResult result;
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  int outFd = out[0], errFd = err[0];
  const double deadline = now() + options.timeoutSeconds;
  bool inputHeld = !options.inputAfter.empty();
  while (outFd >= 0 || errFd >= 0) {
    if (inputHeld && result.out.find(options.inputAfter) != std::string::npos) {
      inputHeld = false;
      if (options.meanwhile) options.meanwhile();
    }
    pollfd fds[3] = {{inputHeld ? -1 : inFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int wait = static_cast<int>((deadline - now()) * 1000);
    if (wait <= 0 || ::poll(fds, 3, wait) == 0) {
      result.timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    if (inFd >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
    int* readers[2] = {&outFd, &errFd};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int i = 0; i < 2; ++i) {
      if (*readers[i] >= 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buffer[65536];
        ssize_t n = ::read(*readers[i], buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
          ::close(*readers[i]);
          *readers[i] = -1;
        }
      }
    }
  }
  for (int fd : {inFd, outFd, errFd}) {
    if (fd >= 0) ::close(fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

int runQuietly(const std::vector<std::string>& argv, const ProcessOptions& options) {
  const pid_t pid = startProcess(argv, -1, -1, -1, options);
  const double deadline = now() + options.timeoutSeconds;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    timespec t{0, 20 * 1000 * 1000};
    ::nanosleep(&t, nullptr);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
