#include "platform/stop_signals_posix.h"

#include <signal.h>
#include <unistd.h>

namespace {

const int kStopSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int kCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t g_held = 0;
bool g_holding = false;
struct sigaction g_previous[kCount];

void record(int sig) {
  if (g_held == 0) g_held = sig;
}

}  // namespace

void holdStopSignals(bool hold) {
  if (hold == g_holding) return;
  g_holding = hold;
  for (int i = 0; i < kCount; ++i) {
    if (!hold) {
      ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
      continue;
    }
    ::sigaction(kStopSignals[i], nullptr, &g_previous[i]);
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction recorder = {};
    recorder.sa_handler = record;
    recorder.sa_flags = SA_RESTART;
    sigemptyset(&recorder.sa_mask);
    ::sigaction(kStopSignals[i], &recorder, nullptr);
  }
}

int heldStopSignal() { return g_held; }

void endByHeldStopSignal() {
  const int sig = g_held;
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);  // not reached: the default action of these signals ends the process
}
