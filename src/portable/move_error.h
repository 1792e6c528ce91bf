#pragma once

#include <string>

// Why a move failed, in the terms the user is shown.
enum class MoveError {
  kNone,
  kNotFound,
  kAccessDenied,
  kAlreadyExists,
  kCrossDevice,
  kReadOnly,
  kDiskFull,
  kInvalidArgument,
  kSourceChanged,  // a copy's source was written to or replaced before it could go
  kSourceHeld,     // another run is moving the source
  kInterrupted,    // given up at a stop request
  kNotSupported,   // the target cannot hold the replay as it is (encrypted, on Windows)
  kOther,          // described by MoveResult::otherText
};

struct MoveResult {
  MoveError error = MoveError::kNone;
  std::string otherText;  // the system's own text, for kOther

  bool ok() const { return error == MoveError::kNone; }
};

// The words shown after " -- Error: " for each failure, as the standard C library has them.
struct MoveErrorText {
  MoveError error;
  const char* text;
};
inline constexpr MoveErrorText kMoveErrorTexts[] = {
    {MoveError::kNotFound, "No such file or directory"},
    {MoveError::kAccessDenied, "Permission denied"},
    {MoveError::kAlreadyExists, "File already exists"},
    {MoveError::kCrossDevice, "Cross-device link"},
    {MoveError::kReadOnly, "Read-only file system"},
    {MoveError::kDiskFull, "No space left on device"},
    {MoveError::kInvalidArgument, "Invalid argument"},
    {MoveError::kSourceChanged, "Device or resource busy"},
    {MoveError::kSourceHeld, "Resource temporarily unavailable"},
    {MoveError::kInterrupted, "Interrupted system call"},
    {MoveError::kNotSupported, "Operation not supported"},
};

// The text shown after " -- Error: " for a failed move: its row's, or the system's own text.
inline std::string moveErrorText(const MoveResult& result) {
  for (const MoveErrorText& row : kMoveErrorTexts) {
    if (row.error == result.error) return row.text;
  }
  return result.otherText;
}
