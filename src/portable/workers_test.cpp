#include "portable/workers.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

namespace {

// A job that throws is a job that has run: the others of its batch run, the wait returns, and
// the process goes on.
TEST(ThreadWorkers, AJobThatThrowsCountsAsRun) {
  ThreadWorkers workers(0);  // at least one thread, whatever is asked
  std::vector<int> ran(6, 0);
  const std::size_t batch = workers.post(6, [&](std::size_t i) {
    if (i == 2) throw std::runtime_error("unreadable");
    ran[i] = 1;
  });
  workers.waitFor(batch);
  workers.waitForAll();
  EXPECT_EQ(ran, (std::vector<int>{1, 1, 0, 1, 1, 1}));
}

// Where no thread can be started, the pool runs its jobs on the caller's thread, the batches
// their jobs post too, rather than throw.
TEST(ThreadWorkers, NoThreadToStartRunsTheJobsInline) {
  ThreadWorkers workers(4, [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  int ran = 0;
  const std::size_t batch = workers.post(3, [&](std::size_t i) {
    ++ran;
    if (i == 0) workers.post(2, [&](std::size_t) { ++ran; });
  });
  workers.waitFor(batch);
  workers.waitForAll();
  EXPECT_EQ(ran, 5);
}

}  // namespace
