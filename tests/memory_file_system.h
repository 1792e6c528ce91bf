#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/stop_requests.h"
#include "portable/path_style.h"

// The one spelling a disk sees for a path: "./" and doubled separators drop out; on Windows '/'
// is a separator too and letters compare ignoring case.
inline std::string pathKey(std::string path, PathStyle style) {
  if (style == PathStyle::kWindows) {
    path = asciiLower(path);
    std::replace(path.begin(), path.end(), '/', '\\');
  }
  const char sep = separatorOf(style);
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const bool atStart = out.empty() || out.back() == sep;
    if (path[i] == sep && !out.empty() && out.back() == sep) continue;
    if (path[i] == '.' && atStart && i + 1 < path.size() && path[i + 1] == sep) {
      ++i;
      continue;
    }
    out.push_back(path[i]);
  }
  return out;
}

// Orders the paths of one disk by their keys, so a look-up finds a file by any spelling.
struct PathOrder {
  PathStyle style = PathStyle::kPosix;
  bool operator()(const std::string& a, const std::string& b) const {
    return pathKey(a, style) < pathKey(b, style);
  }
};

// An in-memory disk: regular files by path, and a log of every access. Its paths follow POSIX
// rules, or Windows rules (both separators, letters in any case) for the Windows code paths.
class MemoryFileSystem : public FileSystem {
 public:
  template <class V>
  using PathMap = std::map<std::string, V, PathOrder>;
  using PathSet = std::set<std::string, PathOrder>;

  explicit MemoryFileSystem(PathStyle style = PathStyle::kPosix) : style_(style) {}

 private:
  PathStyle style_;

 public:
  PathMap<std::string> files{PathOrder{style_}};
  // Names that exist but do not open as regular files (directories, FIFOs).
  PathSet otherEntries{PathOrder{style_}};
  // Folders whose files can be listed, and those that cannot ("in", without a separator).
  PathSet folders{PathOrder{style_}};
  PathSet unlistableFolders{PathOrder{style_}};
  // Moves to these targets fail with the given error.
  PathMap<MoveError> failingTargets{PathOrder{style_}};
  // Folders on another file system: a move there is a staged copy.
  PathSet otherVolume{PathOrder{style_}};
  // Copies of these sources fail with the given error.
  PathMap<MoveError> failingCopies{PathOrder{style_}};
  // Written while their copies' group is flushed: path -> the bytes it holds from then on.
  PathMap<std::string> changedAtFlush{PathOrder{style_}};
  bool copiesHonourStops = false;  // a copy asks the stop requests, and gives up at one
  // How large copies of these sources say they are, where not their bytes' length.
  PathMap<uint64_t> copySizes{PathOrder{style_}};
  int failNamesFlush = 0;  // when not 0, this flush of names (1: the first) fails
  // As on Windows, a copy until it is settled holds its source against every other opener, and
  // its new name against readers.
  bool holdsLikeWindows = false;
  // "read P", "check P", "list F", "open P", "move A B", "stage A B", "flush", "name A B",
  // "flush names", "remove A"
  std::vector<std::string> log;
  int existenceTests = 0;

  // Reads and listings may come from several threads; what they find is not changed meanwhile.
  ReadResult readPrefix(const std::string& path, std::size_t limit,
                        const std::optional<FileStamp>& = std::nullopt) override {
    note("read " + path + " " + std::to_string(limit));
    ReadResult result;
    auto it = files.find(path);
    if (isFolderKey(path)) result.status = ReadStatus::kFolder;
    if (it == files.end()) return result;
    result.status = ReadStatus::kOk;
    result.bytes = it->second.substr(0, limit);
    result.stamp = stampOf(it->second);
    return result;
  }

  // A replay at its turn: "check P", and its rename is a move.
  class Moving : public MovingReplay {
   public:
    Moving(MemoryFileSystem& fs, std::string path, const FileStamp& read)
        : path_(std::move(path)), read_(read), fs_(fs) {
      fs_.note("check " + path_);
      auto it = fs_.files.find(path_);
      other_ = it != fs_.files.end() ? !isFileRead(read_, stampOf(it->second))
                                     : fs_.otherEntries.count(path_) != 0 || fs_.isFolderKey(path_);
      refused_ = fs_.holdsLikeWindows && fs_.held_.count(path_) != 0;
    }
    bool namesAnotherFile() const override { return other_; }
    RenameResult rename(const std::string& to) override {
      if (refused_) return {Renamed::kFailed, {MoveError::kAccessDenied, {}}};
      // Windows tells of a taken name before it tells of another drive.
      if (fs_.otherVolume.count(fs_.folderKey(std::string(folderPart(to, fs_.style_)))) != 0 &&
          !(fs_.holdsLikeWindows && fs_.taken(to))) {
        return {Renamed::kAnotherFileSystem, {}};
      }
      const MoveResult moved = fs_.move(path_, to);
      return {moved.ok() ? Renamed::kDone : Renamed::kFailed, moved};
    }
    std::unique_ptr<StagedCopy> stageCopy(const std::string& to, std::string_view header,
                                          StopRequests& stops, MoveResult* result) override {
      return fs_.stageCopy(path_, read_, refused_, to, header, stops, result);
    }

   private:
    const std::string path_;
    const FileStamp read_;
    bool refused_ = false;  // held by a copy
    MemoryFileSystem& fs_;
    bool other_ = false;
  };

  std::unique_ptr<MovingReplay> openForMove(const std::string& path,
                                            const FileStamp& read) override {
    return std::make_unique<Moving>(*this, path, read);
  }

  std::optional<std::vector<FolderEntry>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    note("list " + folder);
    const std::string key = folderKey(folder);
    if (unlistableFolders.count(key) != 0) return std::nullopt;
    std::vector<FolderEntry> names;
    for (const auto& [path, bytes] : files) {
      const std::string_view name = fileNamePart(path, style_);
      if (folderKey(path.substr(0, path.size() - name.size())) == key && wanted(name)) {
        // in an order of the disk's own
        names.insert(names.begin(), FolderEntry{std::string(name), std::nullopt});
      }
    }
    return names;
  }

  bool samePath(const std::string& a, const std::string& b) override {
    return pathKey(a, style_) == pathKey(b, style_);
  }

  bool isFolder(const std::string& path) override { return isFolderKey(path); }

  bool isTaken(const std::string& path) override {
    note("open " + path);
    ++existenceTests;
    return files.count(path) != 0 && !(holdsLikeWindows && held_.count(path) != 0);
  }

  // A rename, as a replay opened for its move makes one.
  MoveResult move(const std::string& from, const std::string& to) {
    note("move " + from + " " + to);
    MoveResult result;
    auto failing = failingTargets.find(to);
    if (files.count(from) == 0) {
      result.error = MoveError::kNotFound;  // a rename asks for its source first
    } else if (failing != failingTargets.end()) {
      result.error = failing->second;
    } else if (!samePath(from, to) && taken(to)) {
      result.error = MoveError::kAlreadyExists;
    } else {
      std::string bytes = std::move(files[from]);
      files.erase(from);
      files[to] = std::move(bytes);
    }
    return result;
  }

  // A copy, as a replay opened for its move stages one.
  std::unique_ptr<StagedCopy> stageCopy(const std::string& from, const FileStamp& read,
                                        bool refused, const std::string& to,
                                        std::string_view header, StopRequests& stops,
                                        MoveResult* result) {
    note("stage " + from + " " + to);
    auto failing = failingCopies.find(from);
    auto file = files.find(from);
    *result = MoveResult();
    if (refused) {
      result->error = MoveError::kAccessDenied;
    } else if (failing != failingCopies.end()) {
      result->error = failing->second;
    } else if (file == files.end()) {
      result->error = MoveError::kNotFound;
    } else if (!isFileRead(read, stampOf(file->second))) {
      result->error = MoveError::kSourceChanged;
    } else if (file->second.compare(0, header.size(), header) != 0) {
      result->error = MoveError::kSourceChanged;
    } else if (copiesHonourStops && stops.requested()) {
      result->error = MoveError::kInterrupted;
    }
    if (!result->ok()) return nullptr;
    auto size = copySizes.find(from);
    return std::make_unique<Copy>(*this, from, file->second,
                                  size != copySizes.end() ? size->second : file->second.size());
  }
  MoveResult flushCopies() override {
    note("flush");
    for (const auto& [path, bytes] : changedAtFlush) files[path] = bytes;
    return MoveResult();
  }
  MoveResult flushNames() override {
    note("flush names");
    if (++namesFlushes_ == failNamesFlush) return {MoveError::kOther, "Input/output error"};
    return MoveResult();
  }

 private:
  // A copy is its source's bytes as they were staged.
  class Copy : public StagedCopy {
   public:
    Copy(MemoryFileSystem& fs, std::string from, std::string bytes, uint64_t size)
        : fs_(fs), from_(std::move(from)), bytes_(std::move(bytes)), size_(size) {
      fs_.held_.insert(from_);
    }
    ~Copy() override {
      if (!kept_ && !named_.empty()) fs_.files.erase(named_);
      fs_.held_.erase(from_);
      fs_.held_.erase(named_);
    }
    uint64_t size() const override { return size_; }
    MoveResult name(const std::string& to) override {
      fs_.note("name " + from_ + " " + to);
      if (fs_.taken(to)) return MoveResult{MoveError::kAlreadyExists, {}};
      auto failing = fs_.failingTargets.find(to);
      if (failing != fs_.failingTargets.end()) return MoveResult{failing->second, {}};
      fs_.files[to] = bytes_;
      named_ = to;
      fs_.held_.insert(to);
      return MoveResult();
    }
    MoveResult removeSource() override {
      fs_.note("remove " + from_);
      auto source = fs_.files.find(from_);
      if (source != fs_.files.end() && source->second != bytes_) {
        return MoveResult{MoveError::kSourceChanged, {}};
      }
      if (source != fs_.files.end()) fs_.files.erase(source);
      kept_ = true;
      return MoveResult();
    }

   private:
    MemoryFileSystem& fs_;
    const std::string from_;
    const std::string bytes_;
    const uint64_t size_;
    std::string named_;
    bool kept_ = false;
  };
  // Guards the log; copies of the file system get a lock of their own.
  struct LogLock {
    std::mutex mutex;
    LogLock() = default;
    LogLock(const LogLock&) {}
    LogLock& operator=(const LogLock&) { return *this; }
  };
  LogLock logLock_;
  PathSet held_{PathOrder{style_}};  // sources and names of the copies not yet settled
  int namesFlushes_ = 0;

  void note(std::string entry) {
    std::lock_guard<std::mutex> lock(logLock_.mutex);
    log.push_back(std::move(entry));
  }
  static FileStamp stampOf(const std::string& bytes) {
    FileStamp stamp;
    stamp.fileId = std::hash<std::string>()(bytes);
    stamp.size = bytes.size();
    return stamp;
  }
  std::string folderKey(const std::string& path) const {
    std::string folder = pathKey(path, style_);
    if (!folder.empty() && folder.back() == separatorOf(style_)) folder.pop_back();
    return folder;
  }
  bool taken(const std::string& path) const {
    return files.count(path) != 0 || otherEntries.count(path) != 0 || isFolderKey(path);
  }
  bool isFolderKey(const std::string& path) const {
    const std::string folder = folderKey(path);
    return folders.count(folder) != 0 || unlistableFolders.count(folder) != 0;
  }
};
