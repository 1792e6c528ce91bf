#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Jobs that run while the caller goes on: the header reads, in flight together while the
// prompts wait for their answers. Jobs come in numbered batches, `job(0)` to `job(count - 1)`,
// taken in about that order once the batches posted before are taken.
class Workers {
 public:
  using Job = std::function<void(std::size_t)>;
  virtual ~Workers() = default;

  // Queues a batch of `count` jobs and returns its number. Safe from any thread, from a job too.
  virtual std::size_t post(std::size_t count, Job job) = 0;
  // Returns once every job of batch `batch` has run; what they wrote is then seen by the caller.
  virtual void waitFor(std::size_t batch) = 0;
  // Returns once every batch posted so far, and every batch their jobs posted, has run.
  virtual void waitForAll() = 0;
  // Drops the jobs not yet begun and waits for those running (one read each) to end; batches
  // their jobs post meanwhile are dropped too. A dropped job never runs, and waitFor and
  // waitForAll do not wait for it: to them it is as good as run.
  virtual void stop() = 0;
};

// How a worker thread is started: the platform's way keeps stop signals from it.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

// A thread started as std::thread starts it.
inline std::thread startPlainThread(std::function<void()> body) {
  return std::thread(std::move(body));
}

// At most `threads` threads, started as batches come. The jobs of a batch are handed out by
// one atomic counter, so a job costs no lock and no system call of its own. A job that throws
// counts as run. Where no thread can be started, post() runs the batch itself.
//
// What keeps it safe, for whoever changes it or the readers built on it:
// - A batch is never freed or moved while the pool lives (batches_ holds them by pointer), so
//   a job may keep a reference to its batch, and waitFor(n) may look at batch n at any time.
// - The callers post jobs that write into storage that is never resized once posted (the
//   readers' list of arguments), and a folder's list is complete before the batch that reads
//   its replays is posted.
// - A job's results are published by the atomic `finished` count and finish() under the mutex;
//   whoever waitFor() returns to sees them.
// - stop() joins every thread before it marks the batches done, so no job runs on after it; a
//   stopped pool takes no more jobs: a batch posted then is dropped at once.
class ThreadWorkers final : public Workers {
 public:
  explicit ThreadWorkers(std::size_t threads, ThreadStarter start = startPlainThread);
  ~ThreadWorkers() override;
  std::size_t post(std::size_t count, Job job) override;
  void waitFor(std::size_t batch) override;
  void waitForAll() override;
  void stop() override;

 private:
  struct Batch {
    Batch(std::size_t n, Job j) : count(n), job(std::move(j)) {}
    const std::size_t count;
    const Job job;
    std::atomic<std::size_t> next{0};      // the next job to hand out
    std::atomic<std::size_t> finished{0};  // jobs run
    bool done = false;                     // under the mutex
  };
  void work();
  void runJobs(Batch& batch);  // takes the batch's jobs in turn until none is left
  Batch* openBatch();  // with the mutex held: the first batch with jobs to hand out, or null
  void finish(Batch& batch);

  const std::size_t maxThreads_;
  const ThreadStarter start_;
  std::mutex mutex_;
  std::condition_variable batchCame_;
  std::condition_variable batchDone_;
  std::vector<std::unique_ptr<Batch>> batches_;  // by number
  std::size_t firstOpen_ = 0;                    // no batch before it has jobs to hand out
  std::size_t unfinished_ = 0;                   // batches not done
  std::atomic<bool> stopping_{false};            // for good, once stop() is called
  std::vector<std::thread> threads_;
};
