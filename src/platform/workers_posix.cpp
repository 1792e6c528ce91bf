#include <pthread.h>
#include <signal.h>

#include "platform/stop_signals_posix.h"
#include "platform/system_workers.h"

namespace {

// The thread begins with every stop signal blocked: it inherits the mask of the thread that
// starts it, which has them blocked only while it does.
std::thread startWithStopSignalsBlocked(std::function<void()> body) {
  sigset_t stops;
  sigset_t before;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  ::pthread_sigmask(SIG_BLOCK, &stops, &before);
  std::thread thread(std::move(body));
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return thread;
}

}  // namespace

std::unique_ptr<Workers> makeSystemWorkers() {
  return std::make_unique<ThreadWorkers>(kReaderThreads, startWithStopSignalsBlocked);
}
