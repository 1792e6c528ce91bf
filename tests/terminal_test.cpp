// The final key wait in a real pseudo-terminal: it waits, ends on one key, swallows the rest of
// that key, and leaves the terminal as it found it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "expected_texts.h"
#include "terminal_process.h"

namespace {

using expected::kPause;

// The program with a terminal of its own; standard input and output are pipes, so the only
// thing it reads from the terminal is the key.
class TerminalRun : public ::testing::Test {
 protected:
  void SetUp() override {
    setup.input = TerminalSetup::Input::kNull;
    setup.output = TerminalSetup::Output::kPipe;
    program = std::make_unique<TerminalProcess>(std::vector<std::string>{REPRENAME_BINARY}, setup);
    ASSERT_TRUE(program->started());
    ASSERT_TRUE(program->modesBefore().c_lflag & ICANON);
    ASSERT_TRUE(program->modesBefore().c_lflag & ECHO);
  }

  // The pause is shown and the terminal is in raw mode, within five seconds.
  bool waitsAtThePause() {
    if (!program->shows(kPause, 5)) return false;
    for (int i = 0; i < 250; ++i, program->readFor(20)) {
      termios now;
      if (::tcgetattr(program->terminal(), &now) == 0 && !(now.c_lflag & (ICANON | ECHO | ISIG))) {
        return true;
      }
    }
    return false;
  }

  // Still running after 300 milliseconds.
  bool keepsWaiting() {
    program->readFor(300);
    return program->running();
  }

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
  ASSERT_TRUE(waitsAtThePause()) << program->shown;
  EXPECT_TRUE(keepsWaiting()) << "the pause must wait for a key";
  program->type("\x1b[A");  // the up arrow: three bytes, one key
  EXPECT_TRUE(program->endsWithin(250)) << "with status 0";
  expectTerminalRestored();

  // Nothing of the arrow key is left for the shell to read.
  program->type("after\n");
  char buffer[64];
  ssize_t n = ::read(program->terminal(), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "after\n");
}

TEST_F(TerminalRun, CtrlCIsAnOrdinaryKey) {
  ASSERT_TRUE(waitsAtThePause());
  program->type("\x03");
  EXPECT_TRUE(program->endsWithin(250)) << "ended by the key with status 0, not by a signal";
  expectTerminalRestored();
}

TEST_F(TerminalRun, TerminalIsRestoredWhenKilledDuringTheWait) {
  ASSERT_TRUE(waitsAtThePause());
  ::kill(program->pid(), SIGTERM);
  int status = 0;
  ASSERT_TRUE(program->ends(&status));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
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
  ASSERT_TRUE(waitsAtThePause());
  EXPECT_TRUE(keepsWaiting()) << "keys typed ahead must not end the pause";
  program->type("x");
  EXPECT_TRUE(program->endsWithin(250));
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
  ASSERT_TRUE(program->shows(kPause, 5));
  EXPECT_TRUE(program->endsWithin(250));
  expectTerminalRestored();
}

}  // namespace
