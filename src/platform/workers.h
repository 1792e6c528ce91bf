#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Jobs that run while the caller goes on: the header reads, in flight together while the
// prompts wait for their answers. Each job is numbered in the order it was posted.
class Workers {
 public:
  virtual ~Workers() = default;

  // Queues `job` and returns its number. Safe from any thread, from a job too.
  virtual std::size_t post(std::function<void()> job) = 0;
  // Returns once job `number` has run; what it wrote is then seen by the caller.
  virtual void waitFor(std::size_t number) = 0;
  // Returns once every job posted so far, and every job those posted, has run.
  virtual void waitForAll() = 0;
  // Drops the jobs not yet begun and waits for those running (one read each) to end; jobs
  // they post meanwhile are dropped too. Dropped jobs count as run.
  virtual void stop() = 0;
};

// Runs each job at once, inside post(): the order of a run without workers.
class InlineWorkers : public Workers {
 public:
  std::size_t post(std::function<void()> job) override;
  void waitFor(std::size_t) override {}
  void waitForAll() override {}
  void stop() override {}

 private:
  std::size_t posted_ = 0;
};

// How a worker thread is started: the platform's way keeps stop signals from it.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

// At most `threads` threads, started as jobs come, taking jobs in the order posted.
class ThreadWorkers : public Workers {
 public:
  ThreadWorkers(std::size_t threads, ThreadStarter start);
  ~ThreadWorkers() override;
  std::size_t post(std::function<void()> job) override;
  void waitFor(std::size_t number) override;
  void waitForAll() override;
  void stop() override;

 private:
  void work();

  const std::size_t maxThreads_;
  const ThreadStarter start_;
  std::mutex mutex_;
  std::condition_variable jobCame_;
  std::condition_variable jobDone_;
  std::deque<std::pair<std::size_t, std::function<void()>>> queue_;
  std::vector<bool> done_;  // by job number
  std::size_t unfinished_ = 0;
  std::size_t idle_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// The system's workers for header reads: enough threads to keep a disk's queue full, each
// with every stop signal blocked, so only the main thread ever handles one.
std::unique_ptr<Workers> makeSystemWorkers();
