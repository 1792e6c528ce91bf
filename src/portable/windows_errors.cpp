#include "portable/windows_errors.h"

#include <cerrno>
#include <cstring>

namespace {

// System error numbers as winerror.h has them; this file is built on every platform, so that
// the table is tested where the tests run.
struct Shown {
  uint32_t error;
  MoveError shown;
};

constexpr Shown kShownErrors[] = {
    {2, MoveError::kNotFound},          // ERROR_FILE_NOT_FOUND
    {3, MoveError::kNotFound},          // ERROR_PATH_NOT_FOUND
    {123, MoveError::kNotFound},        // ERROR_INVALID_NAME
    {5, MoveError::kAccessDenied},      // ERROR_ACCESS_DENIED
    {32, MoveError::kAccessDenied},     // ERROR_SHARING_VIOLATION
    {80, MoveError::kAlreadyExists},    // ERROR_FILE_EXISTS
    {183, MoveError::kAlreadyExists},   // ERROR_ALREADY_EXISTS
    {17, MoveError::kCrossDevice},      // ERROR_NOT_SAME_DEVICE
    {19, MoveError::kReadOnly},         // ERROR_WRITE_PROTECT
    {112, MoveError::kDiskFull},        // ERROR_DISK_FULL
    {39, MoveError::kDiskFull},         // ERROR_HANDLE_DISK_FULL
    {1295, MoveError::kDiskFull},       // ERROR_DISK_QUOTA_EXCEEDED
    {225, MoveError::kAccessDenied},    // ERROR_VIRUS_INFECTED: antivirus blocked the file
    {226, MoveError::kAccessDenied},    // ERROR_VIRUS_DELETED
    {1, MoveError::kInvalidArgument},   // ERROR_INVALID_FUNCTION
    {87, MoveError::kInvalidArgument},  // ERROR_INVALID_PARAMETER
    {995, MoveError::kInterrupted},     // ERROR_OPERATION_ABORTED: given up at a stop
    {1235, MoveError::kInterrupted},    // ERROR_REQUEST_ABORTED
    {6000, MoveError::kNotSupported},   // ERROR_ENCRYPTION_FAILED: no encrypted copy there
};

constexpr uint32_t kFileNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

struct RuntimeErrno {
  uint32_t error;
  int errnoValue;
};

// The C runtime's own mapping, for the errors the table does not name.
constexpr RuntimeErrno kRuntimeErrnos[] = {
    {4, EMFILE},  // too many open files
    {7, ENOMEM},
    {8, ENOMEM},
    {9, ENOMEM},
    {1816, ENOMEM},  // memory, quota
    {6, EBADF},
    {114, EBADF},
    {130, EBADF},  // handles
    {15, ENOENT},
    {18, ENOENT},
    {53, ENOENT},
    {67, ENOENT},      // drive, network path
    {161, ENOENT},     // bad path name
    {145, ENOTEMPTY},  // directory not empty
    {109, EPIPE},      // broken pipe
    {89, EAGAIN},
    {164, EAGAIN},
    {215, EAGAIN},  // no process or thread
    {16, EACCES},
    {33, EACCES},
    {65, EACCES},
    {82, EACCES},  // current directory, lock,
    {83, EACCES},
    {108, EACCES},
    {132, EACCES},
    {158, EACCES},  // network access, drive
    {167, EACCES},  // locked, lock failed
    // The disk failed to read or write (the C runtime says EACCES, as if it had refused).
    {23, EIO},
    {25, EIO},
    {27, EIO},
    {29, EIO},  // CRC, seek, sector, write
    {30, EIO},
    {31, EIO},
    {483, EIO},
    {1117, EIO},  // read, device, I/O
};

int runtimeErrno(uint32_t error) {
  for (const RuntimeErrno& row : kRuntimeErrnos) {
    if (row.error == error) return row.errnoValue;
  }
  // ERROR_WRITE_PROTECT .. ERROR_SHARING_BUFFER_EXCEEDED: the medium refused.
  if (error >= 19 && error <= 36) return EACCES;
  return EINVAL;
}

}  // namespace

std::string windowsErrorText(uint32_t error) {
  return moveErrorText(moveFailureOfWindowsError(error));
}

MoveResult moveFailureOfWindowsError(uint32_t error) {
  MoveResult result;
  for (const Shown& row : kShownErrors) {
    if (row.error == error) {
      result.error = row.shown;
      return result;
    }
  }
  result.error = MoveError::kOther;
  result.otherText =
      error == kFileNameTooLong ? "File name too long" : std::strerror(runtimeErrno(error));
  return result;
}
