#include "platform/system_workers.h"

// Console control events come on a thread of the system's own, never on a worker.
std::unique_ptr<Workers> makeSystemWorkers() {
  return std::make_unique<ThreadWorkers>(kReaderThreads);
}
