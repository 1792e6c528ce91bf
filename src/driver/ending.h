#pragma once

#include "platform/console.h"

// How a run ends: its exit statuses, the final pause, and the early ends with their messages.

// The ways the dialogue ends early, each with its message. Files moved before keep their new
// names; no summary is written.
enum class EarlyEnd {
  kFileOpenError,  // a replay does not open for reading
  kAbnormalFile,   // not a version 1.11 replay, or a damaged one
  kCancelled,      // no destination given, or the input ended
};

constexpr int kExitSuccess = 0;
constexpr int kExitStopped = 1;

// Writes the stop's message and the pause line, waits for a key and returns the exit status.
int fatalStop(Console& console, EarlyEnd end);

// The final pause of every run.
void pauseBeforeExit(Console& console);
