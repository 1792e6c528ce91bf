// The final key wait in a real pseudo-terminal: it waits, ends on one key, swallows the rest of
// that key, and leaves the terminal as it found it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>

#include <memory>
#include <string>

#include "expected_texts.h"
#include "terminal_process.h"

namespace {

using expected::kPause;

void sleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  ::nanosleep(&t, nullptr);
}

// The program with a terminal of its own; standard input and output are pipes, so the only
// thing it reads from the terminal is the key.
class TerminalRun : public ::testing::Test {
 protected:
  void SetUp() override {
    setup.input = TerminalSetup::Input::kNull;
    setup.output = TerminalSetup::Output::kPipe;
    program = std::make_unique<TerminalProcess>(std::vector<std::string>{REPRENAME_BINARY}, setup);
    ASSERT_TRUE(program->started());
    const termios& before = program->modesBefore();
    ASSERT_TRUE(before.c_lflag & ICANON);
    ASSERT_TRUE(before.c_lflag & ECHO);
  }

  bool outputReaches(const std::string& text) { return program->shows(text, 5); }
  const std::string& shown() const { return program->shown; }

  bool terminalIsRaw() {
    termios now;
    return ::tcgetattr(program->terminal(), &now) == 0 && !(now.c_lflag & (ICANON | ECHO | ISIG));
  }

  bool waitsForRawMode() {
    for (int i = 0; i < 500; ++i) {
      if (terminalIsRaw()) return true;
      sleepMs(10);
    }
    return false;
  }

  bool ends(int* status) { return program->ends(status); }
  bool stillRunning() { return program->running(); }
  void typeKeys(const std::string& keys) { program->type(keys); }

  void expectTerminalRestored() {
    termios after;
    ASSERT_EQ(::tcgetattr(program->terminal(), &after), 0);
    const termios& before = program->modesBefore();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
  }

  TerminalSetup setup;  // set by the fixtures below before SetUp
  std::unique_ptr<TerminalProcess> program;
};

TEST_F(TerminalRun, WaitsForOneKeyAndSwallowsTheRestOfIt) {
  ASSERT_TRUE(outputReaches(kPause)) << shown();
  ASSERT_TRUE(waitsForRawMode());
  sleepMs(300);
  EXPECT_TRUE(stillRunning()) << "the pause must wait for a key";

  typeKeys("\x1b[A");  // the up arrow: three bytes, one key
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectTerminalRestored();

  // Nothing of the arrow key is left for the shell to read.
  typeKeys("after\n");
  char buffer[64];
  ssize_t n = ::read(program->terminal(), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "after\n");
}

TEST_F(TerminalRun, CtrlCIsAnOrdinaryKey) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  typeKeys("\x03");
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status)) << "ended by the key, not by a signal";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectTerminalRestored();
}

TEST_F(TerminalRun, TerminalIsRestoredWhenKilledDuringTheWait) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  ::kill(program->pid(), SIGTERM);
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  expectTerminalRestored();
}

class TerminalRunAfterTypingAhead : public TerminalRun {
 protected:
  void SetUp() override {
    setup.typedAhead = "\n\x1b[A";
    TerminalRun::SetUp();
  }
};

TEST_F(TerminalRunAfterTypingAhead, KeysTypedBeforeTheWaitDoNotEndIt) {
  ASSERT_TRUE(outputReaches(kPause));
  ASSERT_TRUE(waitsForRawMode());
  sleepMs(300);
  EXPECT_TRUE(stillRunning()) << "keys typed ahead must not end the pause";
  typeKeys("x");
  int status = 0;
  ASSERT_TRUE(ends(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class TerminalRunInTheBackground : public TerminalRun {
 protected:
  void SetUp() override {
    setup.inTheBackground = true;
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
