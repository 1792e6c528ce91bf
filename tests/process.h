#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
  std::string out;
  std::string err;
  int exitStatus = -1;  // -1 when it did not exit normally
  bool timedOut = false;
};

struct ProcessOptions {
  std::string workingDirectory;       // empty: the test's own
  std::vector<std::string> extraEnv;  // NAME=value
  int timeoutSeconds = 60;
  bool mergeErrors = false;  // the error stream goes into `out`, in the order written
  int user = -1;             // when not -1, run as this user and group id (needs root)
  // When set, standard input is held back until standard output shows this text, and
  // `meanwhile` runs then, before the input goes.
  std::string inputAfter;
  std::function<void()> meanwhile;
};

// Starts `argv` in a new session, so it has no controlling terminal, with its standard input,
// output and error on the given descriptors (-1: /dev/null), in the options' working directory,
// user and environment. Returns its process id.
pid_t startProcess(const std::vector<std::string>& argv, int in, int out, int err,
                   const ProcessOptions& options = {});

// Runs `argv` as startProcess does, with `input` on standard input (closed after it) and both
// output streams captured.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const ProcessOptions& options = {});

// Runs `argv` in a new session with all three streams on /dev/null and waits up to the timeout
// for it to exit; for helpers that leave daemons behind holding whatever streams they had.
// Returns the exit status, or -1.
int runQuietly(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Replaces the current process with `argv`, with the extra environment added.
[[noreturn]] void execArgs(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnv);
