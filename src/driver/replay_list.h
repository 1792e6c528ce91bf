#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_style.h"
#include "replay/header.h"

// One replay of the run: its path, as given or as listed, and its header as read.
struct Replay {
  std::string path;
  ReplayFile file;
};

// The extension of every replay's name.
inline constexpr std::string_view kReplayExtension = ".rep";

// True for the names a folder's replays have: ending in ".rep" in any letter case.
bool isReplayFileName(std::string_view name);

// The replays of the run in order. An argument that is a folder stands for the replays directly
// inside it, by the bytes of their names; a folder that cannot be listed, and every other
// argument, stands for itself. Each header is read here, once, before the first prompt, so the
// files the run itself creates in a folder are never taken for more replays.
std::vector<Replay> gatherReplays(FileSystem& fs, const std::vector<std::string>& args,
                                  PathStyle style);
