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

void (*g_putBack)() = nullptr;
struct sigaction g_beforePutBack[kCount];

void putBackAndEnd(int sig) {
  if (g_putBack != nullptr) g_putBack();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Installs `handler` for every stop signal not ignored, saving the previous ones in `previous`.
void catchStopSignals(void (*handler)(int), int flags, struct sigaction* previous) {
  for (std::size_t i = 0; i < kCount; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction caught = {};
    caught.sa_handler = handler;
    caught.sa_flags = flags;
    sigemptyset(&caught.sa_mask);
    ::sigaction(kStopSignals[i], &caught, nullptr);
  }
}

void restoreStopSignals(const struct sigaction* previous) {
  for (std::size_t i = 0; i < kCount; ++i) ::sigaction(kStopSignals[i], &previous[i], nullptr);
}

class PosixStopRequests : public StopRequests {
 public:
  // A signal the process was started ignoring (nohup) stays ignored.
  void hold(bool held) override {
    if (held == holding_) return;
    holding_ = held;
    if (held) {
      catchStopSignals(onStopRequest, SA_RESTART, previous_);
    } else {
      restoreStopSignals(previous_);
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

void putBackBeforeStopSignalsEnd(void (*putBack)()) {
  if (putBack != nullptr && g_putBack == nullptr) {
    g_putBack = putBack;
    catchStopSignals(putBackAndEnd, 0, g_beforePutBack);
  } else if (putBack == nullptr && g_putBack != nullptr) {
    restoreStopSignals(g_beforePutBack);
    g_putBack = nullptr;
  }
}

std::unique_ptr<StopRequests> makeSystemStopRequests() {
  return std::make_unique<PosixStopRequests>();
}
