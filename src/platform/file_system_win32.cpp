#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file_system.h"

namespace {

// Opens a file for reading the way the existence test and the replay reads do. Devices (CON,
// NUL, COM1, pipes) open too, but are no files.
HANDLE openForReading(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// The errno that the C runtime gives a system error, for the errors the user is not shown in
// words of our own.
int runtimeErrno(DWORD error) {
  switch (error) {
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_ARENA_TRASHED:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_INVALID_BLOCK:
    case ERROR_NOT_ENOUGH_QUOTA:
      return ENOMEM;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_DIRECT_ACCESS_HANDLE:
      return EBADF;
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_BROKEN_PIPE:
      return EPIPE;
    case ERROR_NO_PROC_SLOTS:
    case ERROR_MAX_THRDS_REACHED:
    case ERROR_NESTING_NOT_ALLOWED:
      return EAGAIN;
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
      return EACCES;
    default:
      if (error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED) return EACCES;
      return EINVAL;
  }
}

MoveResult moveFailure(DWORD error) {
  MoveResult result;
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      result.error = MoveError::kNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      result.error = MoveError::kAccessDenied;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      result.error = MoveError::kAlreadyExists;
      break;
    case ERROR_NOT_SAME_DEVICE:
      result.error = MoveError::kCrossDevice;
      break;
    case ERROR_WRITE_PROTECT:
      result.error = MoveError::kReadOnly;
      break;
    case ERROR_DISK_FULL:
      result.error = MoveError::kDiskFull;
      break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
      result.error = MoveError::kInvalidArgument;
      break;
    default:
      result.error = MoveError::kOther;
      result.otherText = std::strerror(runtimeErrno(error));
      break;
  }
  return result;
}

class Win32FileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    ReadResult result;
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) return result;
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      DWORD n = 0;
      if (!ReadFile(file, &result.bytes[got], static_cast<DWORD>(limit - got), &n, nullptr)) {
        CloseHandle(file);
        result.bytes.clear();
        return result;
      }
      if (n == 0) break;
      got += n;
    }
    CloseHandle(file);
    result.bytes.resize(got);
    result.status = ReadStatus::kOk;
    return result;
  }

  bool opensForReading(const std::string& path) override {
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  // MoveFileA never replaces an existing file, and copies a file to another volume by itself.
  MoveResult move(const std::string& from, const std::string& to) override {
    if (MoveFileA(from.c_str(), to.c_str())) return MoveResult();
    return moveFailure(GetLastError());
  }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() { return std::make_unique<Win32FileSystem>(); }
