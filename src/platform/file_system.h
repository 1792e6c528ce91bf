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

class StopRequests;

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

// A copy of one replay in the folder of its new name, made for a move to another file system,
// and the source it was made from, held open. Move-only, as its owner holds it. A copy whose
// move did not finish (never named, or its source stayed) is removed with it.
class StagedCopy {
 public:
  virtual ~StagedCopy() = default;
  // How many bytes the copy holds.
  virtual uint64_t size() const = 0;
  // Gives the copy the name `to`, never replacing anything there (kAlreadyExists).
  virtual MoveResult name(const std::string& to) = 0;
  // Removes the source, but only while its path names the very file copied, unchanged since
  // the copy began (kSourceChanged otherwise). A source that is gone and has no other name
  // leaves the copy its only one: that counts as removed. Once removed, the copy is kept.
  virtual MoveResult removeSource() = 0;
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

  // A move to another file system is a copy; the driver's CopyGroup (driver/copy_group.h) makes
  // copies durable a group at a time from these steps, so that a group costs one or two
  // flushes of the disk, not one per file. On failure `*result` says why and nothing is
  // returned (nothing is left either). The copy begins with `header`, is proven as long as the
  // source, keeps what mv keeps of it, and holds the source against other runs until it goes.
  // A stop request abandons a copy in progress.
  virtual std::unique_ptr<StagedCopy> stageCopy(const std::string& from, const FileStamp& read,
                                                const std::string& to, std::string_view header,
                                                StopRequests& stops, MoveResult* result) = 0;
  // Puts the data of every copy on disk (before any of them takes its name).
  virtual MoveResult flushCopies(const std::vector<StagedCopy*>& copies) = 0;
  // Puts the new names of the named copies on disk (before any source goes).
  virtual MoveResult flushNames(const std::vector<StagedCopy*>& named) = 0;

  // True when `a` and `b` are one path as the system resolves names, asking nothing of the disk:
  // here the same bytes; on Windows the same full path, ignoring case as NTFS does.
  virtual bool samePath(const std::string& a, const std::string& b) { return a == b; }
  // A file name folded so that two names the system takes for one file get the same key (two
  // that are different files may get it too, which costs a look, never a wrong answer): here its
  // ASCII letters in lower case; on Windows the name in upper case as NTFS folds names.
  virtual std::string nameKey(std::string_view fileName) { return asciiLower(fileName); }
};

std::unique_ptr<FileSystem> makeSystemFileSystem();
