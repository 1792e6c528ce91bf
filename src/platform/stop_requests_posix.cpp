#include <signal.h>
#include <unistd.h>

#include <iterator>

#include "platform/stop_requests.h"
#include "platform/stop_signals_posix.h"

namespace {

constexpr std::size_t kCount = std::size(kStopSignals);

volatile sig_atomic_t g_held = 0;

void onStopRequest(int sig) {
  if (g_held == 0) g_held = sig;
}

class PosixStopRequests : public StopRequests {
 public:
  // A signal the process was started ignoring (nohup) stays ignored.
  void hold(bool held) override {
    if (held == holding_) return;
    holding_ = held;
    for (std::size_t i = 0; i < kCount; ++i) {
      if (!held) {
        ::sigaction(kStopSignals[i], &previous_[i], nullptr);
        continue;
      }
      ::sigaction(kStopSignals[i], nullptr, &previous_[i]);
      if (previous_[i].sa_handler == SIG_IGN) continue;
      struct sigaction recorder = {};
      recorder.sa_handler = onStopRequest;
      recorder.sa_flags = SA_RESTART;
      sigemptyset(&recorder.sa_mask);
      ::sigaction(kStopSignals[i], &recorder, nullptr);
    }
  }

  bool requested() override { return g_held != 0; }

  int endAsRequested() override {
    const int sig = g_held;
    ::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);  // not reached: the default action of these signals ends the process
  }

 private:
  bool holding_ = false;
  struct sigaction previous_[kCount];
};

}  // namespace

std::unique_ptr<StopRequests> makeSystemStopRequests() {
  return std::make_unique<PosixStopRequests>();
}
