#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
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
  std::size_t groupFiles = 64;  // a staged group is full at this many copies
  // "read P", "check P", "list F", "open P", "move A B", "stage A B", "flush", "name A B",
  // "finish"
  std::vector<std::string> log;
  int existenceTests = 0;

  // Reads and listings may come from several threads; what they find is not changed meanwhile.
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
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

  // A file is known by its contents: one with the same bytes reads the same.
  PathNow recheck(const std::string& path, const FileStamp& stamp) override {
    note("check " + path);
    auto it = files.find(path);
    if (it != files.end())
      return stampOf(it->second) == stamp ? PathNow::kSameFile : PathNow::kOther;
    return otherEntries.count(path) != 0 || isFolderKey(path) ? PathNow::kOther : PathNow::kNothing;
  }

  std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    note("list " + folder);
    const std::string key = folderKey(folder);
    if (unlistableFolders.count(key) != 0) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      const std::string_view name = fileNamePart(path, style_);
      if (folderKey(path.substr(0, path.size() - name.size())) == key && wanted(name)) {
        names.insert(names.begin(), std::string(name));  // in an order of the disk's own
      }
    }
    return names;
  }

  bool samePath(const std::string& a, const std::string& b) override {
    return pathKey(a, style_) == pathKey(b, style_);
  }

  bool isFolder(const std::string& path) override { return isFolderKey(path); }

  bool opensForReading(const std::string& path) override {
    note("open " + path);
    ++existenceTests;
    return files.count(path) != 0;
  }

  MoveResult move(const std::string& from, const std::string& to) override {
    note("move " + from + " " + to);
    MoveResult result;
    auto failing = failingTargets.find(to);
    if (files.count(from) == 0) {
      result.error = MoveError::kNotFound;  // a rename asks for its source first
    } else if (otherVolume.count(folderKey(std::string(folderPart(to, style_)))) != 0) {
      result.error = MoveError::kNeedsCopy;
    } else if (failing != failingTargets.end()) {
      result.error = failing->second;
    } else if (!samePath(from, to) &&
               (files.count(to) != 0 || otherEntries.count(to) != 0 || isFolderKey(to))) {
      result.error = MoveError::kAlreadyExists;
    } else {
      std::string bytes = std::move(files[from]);
      files.erase(from);
      files[to] = std::move(bytes);
    }
    return result;
  }

  bool knownToCopy(const FileStamp&, const std::string& to) override {
    return copiedTo_.count(folderKey(std::string(folderPart(to, style_)))) != 0;
  }

  MoveResult stageCopy(const std::string& from, const std::string& to, std::string_view header,
                       std::size_t* copy) override {
    note("stage " + from + " " + to);
    copiedTo_.insert(folderKey(std::string(folderPart(to, style_))));
    *copy = staged_.size();
    staged_.push_back({from, "", MoveResult()});
    auto failing = failingCopies.find(from);
    auto file = files.find(from);
    if (failing != failingCopies.end()) {
      staged_.back().result.error = failing->second;
    } else if (file == files.end()) {
      staged_.back().result.error = MoveError::kNotFound;
    } else if (file->second.compare(0, header.size(), header) != 0) {
      staged_.back().result = {MoveError::kOther, "Input/output error"};
    }
    return staged_.back().result;
  }
  bool stagedGroupFull() override { return staged_.size() >= groupFiles; }
  MoveResult flushStaged() override {
    note("flush");
    return MoveResult();
  }
  MoveResult nameStaged(std::size_t copy, const std::string& to) override {
    note("name " + staged_.at(copy).from + " " + to);
    if (files.count(to) != 0 || otherEntries.count(to) != 0 || isFolderKey(to)) {
      return MoveResult{MoveError::kAlreadyExists, {}};
    }
    auto failing = failingTargets.find(to);
    if (failing != failingTargets.end()) return MoveResult{failing->second, {}};
    files[to] = files[staged_[copy].from];
    staged_[copy].named = to;
    return MoveResult();
  }
  std::vector<MoveResult> finishStaged() override {
    note("finish");
    std::vector<MoveResult> results;
    for (const Staged& staged : staged_) {
      if (!staged.named.empty()) files.erase(staged.from);
      results.push_back(staged.named.empty() && staged.result.ok()
                            ? MoveResult{MoveError::kInvalidArgument, {}}
                            : staged.result);
    }
    staged_.clear();
    return results;
  }

 private:
  struct Staged {
    std::string from;
    std::string named;
    MoveResult result;
  };
  std::vector<Staged> staged_;
  std::set<std::string> copiedTo_;

  // Guards the log; copies of the file system get a lock of their own.
  struct LogLock {
    std::mutex mutex;
    LogLock() = default;
    LogLock(const LogLock&) {}
    LogLock& operator=(const LogLock&) { return *this; }
  };
  LogLock logLock_;

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
  bool isFolderKey(const std::string& path) const {
    const std::string folder = folderKey(path);
    return folders.count(folder) != 0 || unlistableFolders.count(folder) != 0;
  }
};
