#pragma once

// The signals that ask a process to end (SIGINT, SIGTERM, SIGHUP), held while files move: one
// that comes then is only recorded, and the run ends by it once the file in hand is done. A
// signal the process was started ignoring stays ignored.
void holdStopSignals(bool hold);

// The held signal that came, or 0.
int heldStopSignal();

// Ends the process by the held signal, as if it had not been held.
[[noreturn]] void endByHeldStopSignal();
