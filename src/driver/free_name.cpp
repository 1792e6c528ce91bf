#include "driver/free_name.h"

#include <cstdint>

std::string findFreeName(FileSystem& fs, const std::string& target) {
  const std::string stem = target.substr(0, target.size() - 4);
  for (uint64_t attempt = 0;; ++attempt) {
    std::string candidate = stem + std::to_string(attempt) + ".rep";
    if (!fs.opensForReading(candidate)) return candidate;
  }
}
