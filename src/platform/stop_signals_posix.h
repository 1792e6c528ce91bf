#pragma once

#include <signal.h>

// The signals that ask a process to end. Their handlers have one owner, stop_requests_posix.cpp:
// the run holds them while files move (StopRequests), and the key wait has them put the terminal
// back before the process ends by them.
inline constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// From now on a stop signal calls `putBack` (async-signal-safe) before it ends the process as it
// would have; nullptr puts the handlers back as they were. A signal ignored (nohup) stays so.
void putBackBeforeStopSignalsEnd(void (*putBack)());
