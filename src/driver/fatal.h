#pragma once

#include "platform/console.h"

// The ways a run ends early. Files moved before keep their new names; no summary is written.
enum class StopCode {
  kFileOpenError = 0,  // a replay does not open for reading
  kAbnormalFile = 8,   // not a version 1.11 replay, or a damaged one
  kCancelled = 10,     // no destination given, or the input ended
};

constexpr int kExitSuccess = 0;
constexpr int kExitStopped = 1;

// Writes the stop's message and the pause line, waits for a key and returns the exit status.
int fatalStop(Console& console, StopCode code);

// The final pause of every run.
void pauseBeforeExit(Console& console);
