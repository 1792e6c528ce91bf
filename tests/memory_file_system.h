#pragma once

#include <map>
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
  // Moves to these targets fail with the given error.
  std::map<std::string, MoveError> failingTargets;
  std::vector<std::string> log;  // "read P", "open P", "move A B"
  int existenceTests = 0;

  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    log.push_back("read " + path + " " + std::to_string(limit));
    ReadResult result;
    auto it = files.find(path);
    if (it == files.end()) return result;
    result.status = ReadStatus::kOk;
    result.bytes = it->second.substr(0, limit);
    return result;
  }

  bool opensForReading(const std::string& path) override {
    log.push_back("open " + path);
    ++existenceTests;
    return files.count(path) != 0;
  }

  MoveResult move(const std::string& from, const std::string& to) override {
    log.push_back("move " + from + " " + to);
    MoveResult result;
    auto failing = failingTargets.find(to);
    if (failing != failingTargets.end()) {
      result.error = failing->second;
    } else if (files.count(from) == 0) {
      result.error = MoveError::kNotFound;
    } else if (files.count(to) != 0 || otherEntries.count(to) != 0) {
      result.error = MoveError::kAlreadyExists;
    } else {
      std::string bytes = std::move(files[from]);
      files.erase(from);
      files[to] = std::move(bytes);
    }
    return result;
  }
};
