#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

// An in-memory disk: regular files by path, and a log of every access.
class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  // Names that exist but do not open as regular files (directories, FIFOs).
  std::set<std::string> otherEntries;
  // Folders whose files can be listed, and those that cannot ("in", without a slash).
  std::set<std::string> folders;
  std::set<std::string> unlistableFolders;
  // Moves to these targets fail with the given error.
  std::map<std::string, MoveError> failingTargets;
  std::vector<std::string> log;  // "read P", "open P", "move A B"
  int existenceTests = 0;

  // One spelling per file, as a real disk would see it: "./" and doubled slashes drop out.
  static std::string normal(const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '/' && !out.empty() && out.back() == '/') continue;
      if (path.compare(i, 2, "./") == 0 && (out.empty() || out.back() == '/')) {
        ++i;
        continue;
      }
      out.push_back(path[i]);
    }
    return out;
  }

  // Reads and listings may come from several threads; what they find is not changed meanwhile.
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    note("read " + path + " " + std::to_string(limit));
    ReadResult result;
    auto it = files.find(normal(path));
    if (isFolder(path)) result.status = ReadStatus::kFolder;
    if (it == files.end()) return result;
    result.status = ReadStatus::kOk;
    result.bytes = it->second.substr(0, limit);
    result.stamp = stampOf(it->second);
    return result;
  }

  // A file is known by its contents: one with the same bytes reads the same.
  PathNow recheck(const std::string& path, const FileStamp& stamp) override {
    note("check " + path);
    auto it = files.find(normal(path));
    if (it != files.end())
      return stampOf(it->second) == stamp ? PathNow::kSameFile : PathNow::kOther;
    return otherEntries.count(normal(path)) != 0 || isFolder(path) ? PathNow::kOther
                                                                   : PathNow::kNothing;
  }

  std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    note("list " + folder);
    std::string prefix = normal(folder);
    if (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (unlistableFolders.count(prefix) != 0) return std::nullopt;
    std::vector<std::string> names;
    prefix += '/';
    for (const auto& [path, bytes] : files) {
      if (path.compare(0, prefix.size(), prefix) != 0) continue;
      std::string name = path.substr(prefix.size());
      if (name.find('/') == std::string::npos && wanted(name)) {
        names.insert(names.begin(), name);  // in an order of the disk's own
      }
    }
    return names;
  }

  bool opensForReading(const std::string& path) override {
    log.push_back("open " + path);
    ++existenceTests;
    return files.count(normal(path)) != 0;
  }

  MoveResult move(const std::string& fromPath, const std::string& toPath) override {
    log.push_back("move " + fromPath + " " + toPath);
    const std::string from = normal(fromPath);
    const std::string to = normal(toPath);
    MoveResult result;
    auto failing = failingTargets.find(to);
    if (failing != failingTargets.end()) {
      result.error = failing->second;
    } else if (files.count(from) == 0) {
      result.error = MoveError::kNotFound;
    } else if (files.count(to) != 0 || otherEntries.count(to) != 0 || isFolder(to)) {
      result.error = MoveError::kAlreadyExists;
    } else {
      std::string bytes = std::move(files[from]);
      files.erase(from);
      files[to] = std::move(bytes);
    }
    return result;
  }

 private:
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
    stamp.a = std::hash<std::string>()(bytes);
    stamp.b = bytes.size();
    return stamp;
  }
  bool isFolder(const std::string& path) const {
    std::string folder = normal(path);
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folders.count(folder) != 0 || unlistableFolders.count(folder) != 0;
  }
};
