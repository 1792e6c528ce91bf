#pragma once

#include <cstddef>
#include <memory>

#include "portable/workers.h"

// Enough reads in flight to keep a disk's queue full; each holds one file open at a time.
constexpr std::size_t kReaderThreads = 32;

// The system's workers for header reads: kReaderThreads threads, each with every stop signal
// blocked, so only the main thread ever handles one.
std::unique_ptr<Workers> makeSystemWorkers();
