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
  kOther,          // described by MoveResult::otherText
  kNeedsCopy,      // from move() alone: `to` lies on another file system, see stageCopy
};

struct MoveResult {
  MoveError error = MoveError::kNone;
  std::string otherText;  // the system's own text, for kOther

  bool ok() const { return error == MoveError::kNone; }
};

// The text shown after " -- Error: " for a failed move.
inline std::string moveErrorText(const MoveResult& result) {
  switch (result.error) {
    case MoveError::kNone:
      return "";
    case MoveError::kNotFound:
      return "No such file or directory";
    case MoveError::kAccessDenied:
      return "Permission denied";
    case MoveError::kAlreadyExists:
      return "File already exists";
    case MoveError::kCrossDevice:
    case MoveError::kNeedsCopy:
      return "Cross-device link";
    case MoveError::kReadOnly:
      return "Read-only file system";
    case MoveError::kDiskFull:
      return "No space left on device";
    case MoveError::kInvalidArgument:
      return "Invalid argument";
    case MoveError::kSourceChanged:
      return "Device or resource busy";
    case MoveError::kSourceHeld:
      return "Resource temporarily unavailable";
    case MoveError::kInterrupted:
      return "Interrupted system call";
    case MoveError::kOther:
      break;
  }
  return result.otherText;
}
