#include "portable/move_error.h"

#include <gtest/gtest.h>

namespace {

// The words after " -- Error: ", which the README and the manual page quote.
TEST(MoveError, TextsTheUserIsShown) {
  struct Case {
    MoveError error;
    const char* text;
  } cases[] = {
      {MoveError::kNotFound, "No such file or directory"},
      {MoveError::kAccessDenied, "Permission denied"},
      {MoveError::kAlreadyExists, "File already exists"},
      {MoveError::kCrossDevice, "Cross-device link"},
      {MoveError::kNeedsCopy, "Cross-device link"},
      {MoveError::kReadOnly, "Read-only file system"},
      {MoveError::kDiskFull, "No space left on device"},
      {MoveError::kInvalidArgument, "Invalid argument"},
      {MoveError::kSourceChanged, "Device or resource busy"},
      {MoveError::kSourceHeld, "Resource temporarily unavailable"},
      {MoveError::kInterrupted, "Interrupted system call"},
  };
  for (const Case& c : cases) EXPECT_EQ(moveErrorText(MoveResult{c.error, ""}), c.text);
  EXPECT_EQ(moveErrorText(MoveResult{MoveError::kOther, "File name too long"}),
            "File name too long");
}

}  // namespace
