#include "platform/windows_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "driver/renamer.h"

namespace {

TEST(WindowsErrors, TextsOfFailedMoves) {
  struct Case {
    uint32_t error;
    std::string text;
  } cases[] = {
      {2, "No such file or directory"},
      {3, "No such file or directory"},
      {123, "No such file or directory"},
      {5, "Permission denied"},
      {32, "Permission denied"},
      {80, "File already exists"},
      {183, "File already exists"},
      {17, "Cross-device link"},
      {19, "Read-only file system"},
      {112, "No space left on device"},
      {1, "Invalid argument"},
      {87, "Invalid argument"},
      {206, "File name too long"},
      {33, std::strerror(EACCES)},  // a lock violation
      {4, std::strerror(EMFILE)},
      {145, std::strerror(ENOTEMPTY)},
      {21, std::strerror(EACCES)},
      {1392, std::strerror(EINVAL)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(moveErrorText(moveFailureOfWindowsError(c.error)), c.text) << c.error;
  }
}

}  // namespace
