#include "platform/workers.h"

std::size_t InlineWorkers::post(std::function<void()> job) {
  const std::size_t number = posted_++;
  job();
  return number;
}

ThreadWorkers::ThreadWorkers(std::size_t threads, ThreadStarter start)
    : maxThreads_(threads == 0 ? 1 : threads), start_(std::move(start)) {}

ThreadWorkers::~ThreadWorkers() { stop(); }

std::size_t ThreadWorkers::post(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t number = done_.size();
  done_.push_back(stopping_);  // a dropped job counts as run, so nobody waits for it
  if (stopping_) return number;
  queue_.emplace_back(number, std::move(job));
  ++unfinished_;
  if (idle_ < queue_.size() && threads_.size() < maxThreads_) {
    threads_.push_back(start_([this] { work(); }));
  }
  jobCame_.notify_one();
  return number;
}

void ThreadWorkers::waitFor(std::size_t number) {
  std::unique_lock<std::mutex> lock(mutex_);
  jobDone_.wait(lock, [&] { return done_.at(number); });
}

void ThreadWorkers::waitForAll() {
  std::unique_lock<std::mutex> lock(mutex_);
  jobDone_.wait(lock, [&] { return unfinished_ == 0; });
}

void ThreadWorkers::stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (const auto& queued : queue_) done_[queued.first] = true;
    unfinished_ -= queue_.size();
    queue_.clear();
    threads.swap(threads_);
  }
  jobCame_.notify_all();
  jobDone_.notify_all();
  for (std::thread& thread : threads) thread.join();
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
}

void ThreadWorkers::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    jobCame_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    --idle_;
    if (stopping_) return;
    std::pair<std::size_t, std::function<void()>> next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    next.second();
    next.second = nullptr;  // what the job holds goes before it counts as done
    lock.lock();
    done_[next.first] = true;
    --unfinished_;
    jobDone_.notify_all();
  }
}
