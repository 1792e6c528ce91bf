#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "portable/move_error.h"
#include "portable/path_style.h"

enum class ReadStatus {
  kOk,
  kOpenFailed,
  kFolder,  // a folder, whose files may be listed
};

// Which file a read found, in terms one question about a path can check again later: on Linux
// its device and inode; on Windows its volume and file ID, and its attributes, size and
// last-write time too, which tell a file apart where a volume's IDs are not stable (FAT).
struct FileStamp {
  uint64_t volume = 0;
  uint64_t fileId = 0;      // the inode, or Windows' file ID (its low half where it has 128 bits)
  uint64_t fileIdHigh = 0;  // the high half of a 128-bit file ID (ReFS)
  uint64_t size = 0;        // Windows
  uint64_t written = 0;     // Windows: the last-write time
  uint32_t attributes = 0;  // Windows

  bool operator==(const FileStamp& o) const {
    return volume == o.volume && fileId == o.fileId && fileIdHigh == o.fileIdHigh &&
           size == o.size && written == o.written && attributes == o.attributes;
  }
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
  // True when `path` names a folder (a symbolic link counts as what it points to).
  virtual bool isFolder(const std::string& path) = 0;
  // Moves a file to `to`, never replacing anything that exists there; on failure the source
  // stays where it was and nothing is left at `to`. Where `to` lies on another file system the
  // answer may be kNeedsCopy, with nothing done: such a move is made by the staged copy below.
  virtual MoveResult move(const std::string& from, const std::string& to) = 0;

  // A move to another file system is a copy, made durable a group at a time so that a group
  // costs one flush of the disk, not one per file:
  //   stageCopy     copies `from` into a file of no name (or a hidden one) in `to`'s folder; the
  //                 copy is proven as long as the source and beginning with `header`, and keeps
  //                 what mv keeps of the source;
  //   flushStaged   puts the data of every staged copy on disk;
  //   nameStaged    gives one flushed copy the name `to`, never replacing (kAlreadyExists);
  //   finishStaged  puts every new name on disk, then removes each named copy's source. A copy
  //                 whose name cannot be made durable or whose source stays loses its name
  //                 again; copies never named are removed. Returns each staged copy's outcome.
  // Each staged copy is known by the number stageCopy gives it, from 0 in each group.
  virtual MoveResult stageCopy(const std::string& from, const std::string& to,
                               std::string_view header, std::size_t* copy) = 0;
  virtual MoveResult flushStaged() = 0;
  virtual MoveResult nameStaged(std::size_t copy, const std::string& to) = 0;
  virtual std::vector<MoveResult> finishStaged() = 0;
  // True when the staged group is as large as a group should be (in files, bytes or time).
  virtual bool stagedGroupFull() = 0;
  // True when a move of the file a read stamped to `to` is known to be a copy, asking the disk
  // at most once per folder.
  virtual bool knownToCopy(const FileStamp&, const std::string& /*to*/) { return false; }

  // True when `a` and `b` are one path as the system resolves names, asking nothing of the disk:
  // here the same bytes; on Windows the same full path, ignoring case as NTFS does.
  virtual bool samePath(const std::string& a, const std::string& b) { return a == b; }
  // A file name folded so that two names the system takes for one file get the same key (two
  // that are different files may get it too, which costs a look, never a wrong answer): here its
  // ASCII letters in lower case; on Windows the name in upper case as NTFS folds names.
  virtual std::string nameKey(std::string_view fileName) { return asciiLower(fileName); }
};

std::unique_ptr<FileSystem> makeSystemFileSystem();
