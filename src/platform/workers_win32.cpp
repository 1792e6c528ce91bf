#include "platform/workers.h"

namespace {

// Enough reads in flight to keep a disk's queue full; each holds one file open at a time.
constexpr std::size_t kReaderThreads = 32;

// Console control events come on a thread of the system's own, never on a worker.
std::thread startThread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace

std::unique_ptr<Workers> makeSystemWorkers() {
  return std::make_unique<ThreadWorkers>(kReaderThreads, startThread);
}
