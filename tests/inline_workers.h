#pragma once

#include "portable/workers.h"

// Runs each batch at once, inside post(): the order of a run without workers.
class InlineWorkers : public Workers {
 public:
  std::size_t post(std::size_t count, Job job) override {
    for (std::size_t i = 0; i < count; ++i) job(i);
    return posted_++;
  }
  void waitFor(std::size_t) override {}
  void waitForAll() override {}
  void stop() override {}

 private:
  std::size_t posted_ = 0;
};
