#include "driver/replay_list.h"

#include <algorithm>

bool isReplayFileName(std::string_view name) {
  if (name.size() < kReplayExtension.size()) return false;
  return asciiLower(name.substr(name.size() - kReplayExtension.size())) == kReplayExtension;
}

std::vector<Replay> gatherReplays(FileSystem& fs, const std::vector<std::string>& args,
                                  PathStyle style) {
  std::vector<Replay> replays;
  replays.reserve(args.size());
  for (const std::string& arg : args) {
    ReadResult read = fs.readPrefix(arg, kReplayHeaderSize);
    if (read.status != ReadStatus::kFolder) {
      replays.push_back({arg, decodeReplayFile(read)});
      continue;
    }
    std::optional<std::vector<std::string>> names = fs.listFolder(arg, isReplayFileName);
    if (!names) {
      replays.push_back({arg, ReplayFile()});  // fails to open in its turn
      continue;
    }
    std::sort(names->begin(), names->end());
    for (const std::string& name : *names) {
      std::string path = pathInFolder(arg, name, style);
      ReplayFile file = readReplayFile(fs, path);
      replays.push_back({std::move(path), std::move(file)});
    }
  }
  return replays;
}
