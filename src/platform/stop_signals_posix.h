#pragma once

#include <signal.h>

// The signals that ask a process to end: the run holds them while files move, and the key wait
// catches them to put the terminal back before the process ends by them.
inline constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
