// The final key wait in a real pseudo-terminal: it waits, ends on one key, swallows the rest of
// that key, and leaves the terminal as it found it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "process.h"

namespace {

const std::string kPause = " -- Press any key to exit --\n";

void sleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  ::nanosleep(&t, nullptr);
}

// The program with a terminal of its own; standard input and output are pipes, so the only
// thing it reads from the terminal is the key.
class TerminalRun : public ::testing::Test {
 protected:
  void SetUp() override {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::string slaveName = ::ptsname(master);
    slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ASSERT_EQ(::tcgetattr(slave, &before), 0);
    ASSERT_TRUE(before.c_lflag & ICANON);
    ASSERT_TRUE(before.c_lflag & ECHO);

    ASSERT_EQ(::write(master, typedAhead.data(), typedAhead.size()),
              static_cast<ssize_t>(typedAhead.size()));
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid = ::fork();
    if (pid == 0) {
      ::setsid();
      int tty = ::open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
      if (inTheBackground) {
        // As a shell runs `reprename ... &`: a process group of its own, under a parent that
        // keeps the terminal's foreground and waits for it.
        pid_t job = ::fork();
        if (job != 0) {
          ::setpgid(job, job);
          int status = 0;
          ::waitpid(job, &status, 0);
          ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128);
        }
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      }
      int devnull = ::open("/dev/null", O_RDONLY);
      ::dup2(devnull, 0);
      ::dup2(out[1], 1);
      ::dup2(out[1], 2);
      ::close(tty);
      execArgs({REPRENAME_BINARY}, {});
    }
    ::close(out[1]);
    output = out[0];
  }

  void TearDown() override {
    if (pid > 0 && !exited) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    ::close(master);
    ::close(slave);
    ::close(output);
  }

  // Reads the program's output until `text` has come, for up to five seconds.
  bool outputReaches(const std::string& text) {
    for (int i = 0; i < 500 && shown.find(text) == std::string::npos; ++i) {
      pollfd p{output, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0) {
        char buffer[4096];
        ssize_t n = ::read(output, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(n));
      }
    }
    return shown.find(text) != std::string::npos;
  }

  bool terminalIsRaw() {
    termios now;
    return ::tcgetattr(slave, &now) == 0 && !(now.c_lflag & (ICANON | ECHO | ISIG));
  }

  bool waitsForRawMode() {
    for (int i = 0; i < 500; ++i) {
      if (terminalIsRaw()) return true;
      sleepMs(10);
    }
    return false;
  }

  // Waits up to five seconds for the process to end; returns its wait status.
  bool ends(int* status) {
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid, status, WNOHANG) == pid) {
        exited = true;
        return true;
      }
      sleepMs(10);
    }
    return false;
  }

  bool stillRunning() { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

  void expectTerminalRestored() {
    termios after;
    ASSERT_EQ(::tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
  }

  int master = -1;
  int slave = -1;
  int output = -1;
  pid_t pid = -1;
  bool exited = false;
  termios before;
  std::string shown;
  std::string typedAhead;        // keys on the terminal before the program starts
  bool inTheBackground = false;  // another process group has the terminal's foreground
};

TEST_F(TerminalRun, WaitsForOneKeyAndSwallowsTheRestOfIt) {
  ASSERT_TRUE(outputReaches(kPause)) << shown;
  ASSERT_TRUE(waitsForRawMode());
  sleepMs(300);
  EXPECT_TRUE(stillRunning()) << "the pause must wait for a key";

  ASSERT_EQ(::write(master, "\x1b[A", 3), 3);  // the up arrow: three bytes, one key
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectTerminalRestored();

  // Nothing of the arrow key is left for the shell to read.
  ASSERT_EQ(::write(master, "after\n", 6), 6);
  char buffer[64];
  ssize_t n = ::read(slave, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "after\n");
}

TEST_F(TerminalRun, CtrlCIsAnOrdinaryKey) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  ASSERT_EQ(::write(master, "\x03", 1), 1);
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status)) << "ended by the key, not by a signal";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectTerminalRestored();
}

TEST_F(TerminalRun, TerminalIsRestoredWhenKilledDuringTheWait) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  expectTerminalRestored();
}

class TerminalRunAfterTypingAhead : public TerminalRun {
 protected:
  void SetUp() override {
    typedAhead = "\n\x1b[A";
    TerminalRun::SetUp();
  }
};

TEST_F(TerminalRunAfterTypingAhead, KeysTypedBeforeTheWaitDoNotEndIt) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  sleepMs(300);
  EXPECT_TRUE(stillRunning()) << "keys typed ahead must not end the pause";
  ASSERT_EQ(::write(master, "x", 1), 1);
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class TerminalRunInTheBackground : public TerminalRun {
 protected:
  void SetUp() override {
    inTheBackground = true;
    TerminalRun::SetUp();
  }
};

// Nobody at the keyboard waits on a job in the background, and changing the terminal's mode
// would stop it (SIGTTOU): the pause ends at once.
TEST_F(TerminalRunInTheBackground, KeyWaitEndsAtOnce) {
  ASSERT_TRUE(outputReaches(kPause));
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  expectTerminalRestored();
}

}  // namespace
