#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include "platform/console.h"
#include "platform/stop_requests.h"

// A console that answers from a script and records what the program showed.
class ScriptConsole : public Console {
 public:
  std::deque<std::string> answers;           // when they run out, the input has ended
  std::chrono::microseconds answerDelay{0};  // how long each answer takes to come
  std::string out;                           // standard output
  std::string err;                           // the error stream
  std::string both;                          // both, in the order written; errors between [[ ]]
  int keyWaits = 0;

  void write(std::string_view text) override {
    if (failure) return;
    out.append(text);
    both.append(text);
  }
  void writeError(std::string_view text) override {
    if (failure && text.rfind("reprename: ", 0) != 0) return;
    err.append(text);
    both.append("[[").append(text).append("]]");
  }
  bool readLine(std::string* line) override {
    std::this_thread::sleep_for(answerDelay);
    if (answers.empty()) return false;
    *line = answers.front();
    answers.pop_front();
    return true;
  }
  void waitForKey() override { ++keyWaits; }
  int flushes = 0;
  int failAtFlush = 0;  // when not 0, this flush and every write after it fail
  std::optional<std::string> failure;
  void flush() override {
    if (++flushes == failAtFlush) failure = "No space left on device";
  }
  std::optional<std::string> writeFailure() const override { return failure; }
};

// How an error-stream text shows in ScriptConsole::both.
inline std::string shownError(const std::string& text) { return "[[ -- Error: " + text + "\n]]"; }

// Stop requests from a script: the run is asked to stop at the chosen check.
class ScriptStops : public StopRequests {
 public:
  int stopAtCheck = 0;  // when not 0, a request comes at this check (1: the first) and stays
  int stopChecks = 0;
  bool holding = false;
  bool endedAsRequested = false;
  void hold(bool held) override { holding = held; }
  bool requested() override { return ++stopChecks >= stopAtCheck && stopAtCheck != 0; }
  int endAsRequested() override {
    endedAsRequested = true;
    return 143;
  }
  bool closingWindow = false;  // the request is a closed console window's
  bool closing() override { return closingWindow; }
};
