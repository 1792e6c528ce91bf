#include "portable/workers.h"

#include <utility>

ThreadWorkers::ThreadWorkers(std::size_t threads, ThreadStarter start)
    : maxThreads_(threads == 0 ? 1 : threads), start_(std::move(start)) {}

ThreadWorkers::~ThreadWorkers() { stop(); }

std::size_t ThreadWorkers::post(std::size_t count, Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::size_t number = batches_.size();
  batches_.push_back(std::make_unique<Batch>(count, std::move(job)));
  Batch& batch = *batches_.back();
  if (count == 0 || stopping_) {
    batch.done = true;  // a dropped batch counts as run, so nobody waits for it
    return number;
  }
  ++unfinished_;
  for (std::size_t n = 0; n < count && threads_.size() < maxThreads_; ++n) {
    try {
      threads_.push_back(start_([this] { work(); }));
    } catch (...) {
      break;  // the threads there are take the batch; with none, the caller does below
    }
  }
  batchCame_.notify_all();
  if (!threads_.empty()) return number;
  lock.unlock();  // its jobs may post batches of their own
  runJobs(batch);
  return number;
}

void ThreadWorkers::runJobs(Batch& batch) {
  for (std::size_t i; !stopping_ && (i = batch.next++) < batch.count;) {
    try {
      batch.job(i);
    } catch (...) {
      // A job that throws has run: what it wrote stays, and a read it did not finish is a
      // failed read of its replay.
    }
    if (++batch.finished == batch.count) finish(batch);
  }
}

void ThreadWorkers::waitFor(std::size_t batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  batchDone_.wait(lock, [&] { return batches_.at(batch)->done; });
}

void ThreadWorkers::waitForAll() {
  std::unique_lock<std::mutex> lock(mutex_);
  batchDone_.wait(lock, [&] { return unfinished_ == 0; });
}

void ThreadWorkers::stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  batchCame_.notify_all();
  for (std::thread& thread : threads) thread.join();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::unique_ptr<Batch>& batch : batches_) batch->done = true;
  unfinished_ = 0;
  batchDone_.notify_all();
}

ThreadWorkers::Batch* ThreadWorkers::openBatch() {
  for (; firstOpen_ < batches_.size(); ++firstOpen_) {
    Batch& batch = *batches_[firstOpen_];
    if (batch.next.load() < batch.count) return &batch;
  }
  return nullptr;
}

void ThreadWorkers::finish(Batch& batch) {
  std::lock_guard<std::mutex> lock(mutex_);
  batch.done = true;
  --unfinished_;
  batchDone_.notify_all();
}

void ThreadWorkers::work() {
  for (;;) {
    Batch* batch = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      batchCame_.wait(lock, [&] { return stopping_ || (batch = openBatch()) != nullptr; });
      if (stopping_) return;
    }
    runJobs(*batch);
  }
}
