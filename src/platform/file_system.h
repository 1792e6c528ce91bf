#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_style.h"

enum class ReadStatus {
  kOk,
  kOpenFailed,
  kFolder,  // a folder, whose files may be listed
};

// Which file a read found, in terms one cheap question about a path can check again later:
// on Linux its device and inode; on Windows its attributes, size and last-write time.
struct FileStamp {
  uint64_t a = 0;
  uint64_t b = 0;
  uint64_t c = 0;

  bool operator==(const FileStamp& o) const { return a == o.a && b == o.b && c == o.c; }
};

struct ReadResult {
  ReadStatus status = ReadStatus::kOpenFailed;
  std::string bytes;  // at most the requested count, from the start of the file
  FileStamp stamp;    // set for kOk
};

// What a path names now, against the file a read once found there.
enum class PathNow {
  kSameFile,
  kOther,    // another file, a folder, a FIFO, or something that cannot be told apart
  kNothing,  // no such name any more
};

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
  kOther,  // described by MoveResult::otherText
};

struct MoveResult {
  MoveError error = MoveError::kNone;
  std::string otherText;  // the system's own text, for kOther

  bool ok() const { return error == MoveError::kNone; }
};

// Every disk access of the renamer. The real one talks to the OS; tests use an in-memory one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens `path` as a regular file for reading and reads at most `limit` bytes from its start.
  // Never blocks on FIFOs or devices; anything else that is not a regular file does not open,
  // but a folder says so. Safe on several threads at once, as listFolder is.
  virtual ReadResult readPrefix(const std::string& path, std::size_t limit) = 0;
  // Whether `path` still names the regular file a read stamped, in one question to the system.
  virtual PathNow recheck(const std::string& path, const FileStamp& stamp) = 0;
  // The names of the regular files directly in `folder` (a symbolic link counts as what it
  // points to) that `wanted` accepts, in no particular order; nothing when it cannot be listed.
  virtual std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) = 0;
  // True when `path` opens as a regular file for reading. Anything else counts as free.
  virtual bool opensForReading(const std::string& path) = 0;
  // Moves a file to `to`, never replacing anything that exists there. A move to another file
  // system copies; on failure the source stays where it was and nothing is left at `to`.
  virtual MoveResult move(const std::string& from, const std::string& to) = 0;

  // True when `a` and `b` are one path as the system resolves names, asking nothing of the disk:
  // here the same bytes; on Windows the same full path, ignoring case as NTFS does.
  virtual bool samePath(const std::string& a, const std::string& b) { return a == b; }
  // A key under which every name the system may take for `fileName` is found, and perhaps a few
  // more: here its ASCII letters in lower case; on Windows the name in upper case as NTFS folds.
  virtual std::string nameKey(std::string_view fileName) { return asciiLower(fileName); }
};

std::unique_ptr<FileSystem> makeSystemFileSystem();
