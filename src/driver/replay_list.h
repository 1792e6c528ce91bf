#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "portable/path_style.h"
#include "portable/workers.h"
#include "replay/header.h"

// One replay of the run: its path, as given or as listed, its header as read, and which file
// that read found at the path.
struct Replay {
  std::string path;
  ReplayFile file;
  FileStamp stamp;
};

// Reads the replay's header again from its path, with the stamp of the file that read found.
void readReplay(FileSystem& fs, Replay& replay);

// The replays of the run, read on `workers` from the moment they are asked for, while the
// prompts wait. An argument that is a folder stands for the replays directly inside it, by the
// bytes of their names; a folder that cannot be listed, and every other argument, stands for
// itself. Every folder is listed before anything moves, so the files the run itself creates in
// a folder are never taken for more replays.
class ReplayReads {
 public:
  ReplayReads(FileSystem& fs, Workers& workers, const std::vector<std::string>& args,
              PathStyle style);
  ~ReplayReads() { workers_.stop(); }  // no read outlives the run's list
  ReplayReads(const ReplayReads&) = delete;
  ReplayReads& operator=(const ReplayReads&) = delete;

  // The first replay's path, once the arguments before it are known; nothing when the
  // arguments stand for no replay at all.
  std::optional<std::string> firstPath();
  // Every replay in order, once every header is read.
  std::vector<Replay> all();
  // Ends the reads not yet begun, for a run that ends before its moves.
  void cancel() { workers_.stop(); }

 private:
  // One argument: first the replay of its own path, made before the jobs are posted so that a
  // reader thread only fills it in; a folder's job puts the folder's replays in its place.
  struct Argument {
    std::vector<Replay> replays;
  };
  void readArgument(Argument& argument);

  FileSystem& fs_;
  Workers& workers_;
  const PathStyle style_;
  std::vector<Argument> arguments_;  // never resized once the jobs are posted
  std::size_t firstBatch_ = 0;       // reads the first argument
  std::size_t restBatch_ = 0;        // reads every other
};
