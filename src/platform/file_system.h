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

// A copy reads and writes through a buffer of at most this many bytes.
inline constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;

enum class ReadStatus {
  kOk,
  kOpenFailed,
  kFolder,  // a folder, whose files may be listed
};

// Which file a read found, in terms that can be checked again when the file is opened for its
// move: on Linux its device and inode; on Windows its volume and file ID, and its size and
// last-write time too, which tell a file apart where a volume's IDs are not stable (FAT).
struct FileStamp {
  uint64_t volume = 0;
  uint64_t fileId = 0;   // the inode, or Windows' file ID; 0 where a folder's listing knew none
  uint64_t size = 0;     // Windows
  uint64_t written = 0;  // Windows: the last-write time

  bool operator==(const FileStamp& o) const {
    return volume == o.volume && fileId == o.fileId && size == o.size && written == o.written;
  }
};

// True when `now`, the stamp of a file as it is opened now, is the file `read` found. A file ID
// the read did not know is not compared.
inline bool isFileRead(const FileStamp& read, const FileStamp& now) {
  return read.volume == now.volume && (read.fileId == 0 || read.fileId == now.fileId) &&
         read.size == now.size && read.written == now.written;
}

struct ReadResult {
  ReadStatus status = ReadStatus::kOpenFailed;
  std::string bytes;  // at most the requested count, from the start of the file
  FileStamp stamp;    // set for kOk
};

// A folder's entry that may be a replay: its name, and on systems whose listing tells it, the
// stamp a read of it would find.
struct FolderEntry {
  std::string name;
  std::optional<FileStamp> stamp;
};

// What a rename did: kDone, the replay is under its new name; kAnotherFileSystem, nothing was
// done, as the new name lies on another file system, where a move is a copy (stageCopy);
// kFailed, the replay stays where it was, for `failure`.
enum class Renamed { kDone, kAnotherFileSystem, kFailed };
struct RenameResult {
  Renamed how = Renamed::kDone;
  MoveResult failure;
};

class StagedCopy;

// A replay opened at its turn to move, by the path it was read from. Whether that path still
// names the file read is checked once, and the move goes through what was checked.
class MovingReplay {
 public:
  virtual ~MovingReplay() = default;
  // True when the path names another file than the read found (or a folder, or something that
  // is no file); false for the file read, and where the path names nothing now.
  virtual bool namesAnotherFile() const = 0;
  // Renames the file to `to`, never replacing anything there (kAlreadyExists).
  virtual RenameResult rename(const std::string& to) = 0;
  // Copies the file into the folder of `to` for its move there, as one of the copies in hand
  // (FileSystem::flushCopies); the replay's hold passes to the copy. On failure `*result` says
  // why and nothing is returned (nothing is left either). The copy begins with `header`, is
  // proven as long as the source, keeps what mv keeps of it, and holds the source against other
  // runs until it goes. A stop request abandons a copy in progress.
  virtual std::unique_ptr<StagedCopy> stageCopy(const std::string& to, std::string_view header,
                                                StopRequests& stops, MoveResult* result) = 0;
};

// A copy of one replay in the folder of its new name, made for a move to another file system,
// and the source it was made from, held open: one of the copies in hand until it goes. A copy
// whose move did not finish (never named, or its source stayed) is removed with it.
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
  // but a folder says so. The stamp is `known` where a folder's listing gave it. Safe on several
  // threads at once, as listFolder is.
  virtual ReadResult readPrefix(const std::string& path, std::size_t limit,
                                const std::optional<FileStamp>& known = std::nullopt) = 0;
  // The regular files directly in `folder` (a symbolic link counts as what it points to) whose
  // names `wanted` accepts, in no particular order; nothing when it cannot be listed.
  virtual std::optional<std::vector<FolderEntry>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) = 0;
  // True when a replay cannot take the name `path`: it opens as a regular file for reading (on
  // Windows, or it is a device's name). Anything else counts as free, and a move there fails
  // where it is not.
  virtual bool isTaken(const std::string& path) = 0;
  // True when `path` names a folder (a symbolic link counts as what it points to).
  virtual bool isFolder(const std::string& path) = 0;
  // Opens the replay at `path`, which a read stamped `read`, for its move.
  virtual std::unique_ptr<MovingReplay> openForMove(const std::string& path,
                                                    const FileStamp& read) = 0;

  // The copies in hand (staged, and not yet gone) are made durable together by the driver's
  // Mover (driver/mover.h), so that a group of them costs one or two flushes of the disk, not
  // one per file. Puts the data of every copy in hand on disk (before any of them takes a name).
  virtual MoveResult flushCopies() = 0;
  // Puts the new names of the copies in hand that took one on disk (before any source goes).
  virtual MoveResult flushNames() = 0;

  // True when `a` and `b` name one file: here the same bytes, asking nothing of the disk; on
  // Windows names that NTFS takes for one, in folders that are one folder, however spelled.
  virtual bool samePath(const std::string& a, const std::string& b) { return a == b; }
  // A file name folded so that two names the system takes for one file get the same key (two
  // that are different files may get it too, which costs a look, never a wrong answer): here its
  // ASCII letters in lower case; on Windows the name in upper case as NTFS folds names.
  virtual std::string nameKey(std::string_view fileName) { return asciiLower(fileName); }
};

std::unique_ptr<FileSystem> makeSystemFileSystem();
