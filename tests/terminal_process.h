#pragma once

// A program with a pseudo-terminal for its controlling terminal, driven as a person at the
// keyboard would drive it: what it shows is collected, keys are typed, its end is awaited.
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>

#include <string>
#include <vector>

struct TerminalSetup {
  enum class Input { kTerminal, kNull };
  enum class Output { kTerminal, kPipe, kFiles };
  Input input = Input::kTerminal;
  Output output = Output::kTerminal;  // kPipe: both streams into one pipe, read as shown
  std::string logPrefix;              // kFiles: standard output in P.out, errors in P.err
  std::string typedAhead;             // keys on the terminal before the program starts
  bool inTheBackground = false;       // started as a shell starts `program &`
  std::vector<std::string> extraEnv;
};

class TerminalProcess {
 public:
  TerminalProcess(const std::vector<std::string>& argv, const TerminalSetup& setup);
  ~TerminalProcess();  // kills the program if it still runs
  TerminalProcess(const TerminalProcess&) = delete;
  TerminalProcess& operator=(const TerminalProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The terminal's own side, as the program sees it: for its modes, and for what a shell would
  // read from it next.
  int terminal() const { return slave_; }
  // The terminal's modes before the program started.
  const termios& modesBefore() const { return before_; }

  // Collects what the program shows for `ms` milliseconds.
  void readFor(int ms);
  // Waits up to `seconds` for `text` to be shown.
  bool shows(const std::string& text, int seconds = 30);
  void type(const std::string& keys);
  bool running();
  // Waits up to `rounds` times 20 milliseconds for the end; true when it ended with status 0.
  bool endsWithin(int rounds);
  // Types `key` and waits for the end; true when it ended with status 0. A console that lost a
  // key on a loaded machine gets it again.
  bool endsOnKey(const std::string& key) {
    for (int attempt = 0; attempt < 3 && running(); ++attempt) {
      type(key);
      endsWithin(150);
    }
    return endsWithin(250);
  }
  // Waits up to five seconds for the end, whatever it was; its wait status in `status`.
  bool ends(int* status) {
    endsWithin(250);
    *status = status_;
    return exited_;
  }
  // The exit status once it has ended, or -1.
  int exitStatus() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

  std::string shown;

 private:
  int master_ = -1;
  int slave_ = -1;
  termios before_{};
  int output_ = -1;  // the pipe of TerminalSetup::Output::kPipe
  bool outputEnded_ = false;
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};
