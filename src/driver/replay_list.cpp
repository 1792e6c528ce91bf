#include "driver/replay_list.h"

#include <algorithm>
#include <memory>

namespace {

// The header a read found, and which file it was.
void keepRead(Replay& replay, const ReadResult& read) {
  replay.file = read.status == ReadStatus::kOk ? decodeReplayBytes(read.bytes) : ReplayFile();
  replay.stamp = read.stamp;
}

}  // namespace

void readReplay(FileSystem& fs, Replay& replay) {
  keepRead(replay, fs.readPrefix(replay.path, kReplayHeaderSize));
}

ReplayReads::ReplayReads(FileSystem& fs, Workers& workers, const std::vector<std::string>& args,
                         PathStyle style)
    : fs_(fs), workers_(workers), style_(style), arguments_(args.size()) {
  // Each argument's own replay is made here, so a reader thread only fills it in: the threads'
  // heaps stay small, and grow with no system call of their own.
  for (std::size_t i = 0; i < args.size(); ++i) {
    arguments_[i].replays.resize(1);
    arguments_[i].replays.front().path = args[i];
  }
  // The first argument alone, so that the first prompt waits for no other.
  auto readFrom = [this](std::size_t first) {
    return [this, first](std::size_t i) { readArgument(arguments_[first + i]); };
  };
  firstBatch_ = workers_.post(std::min<std::size_t>(1, args.size()), readFrom(0));
  restBatch_ = workers_.post(args.size() - std::min<std::size_t>(1, args.size()), readFrom(1));
}

void ReplayReads::readArgument(Argument& argument) {
  Replay& itself = argument.replays.front();
  ReadResult read = fs_.readPrefix(itself.path, kReplayHeaderSize);
  if (read.status != ReadStatus::kFolder) {
    keepRead(itself, read);
    return;
  }
  const std::string folder = itself.path;
  std::optional<std::vector<FolderEntry>> entries = fs_.listFolder(folder, isReplayFileName);
  if (!entries) return;  // the folder itself, which fails in its turn
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  argument.replays.clear();
  argument.replays.reserve(entries->size());
  // What the listing told of each file is its stamp, which its read need not ask again.
  auto stamps = std::make_shared<std::vector<std::optional<FileStamp>>>();
  stamps->reserve(entries->size());
  for (FolderEntry& entry : *entries) {
    argument.replays.push_back({pathInFolder(folder, entry.name, style_), {}, {}});
    stamps->push_back(entry.stamp);
  }
  entries.reset();
  workers_.post(argument.replays.size(), [this, &argument, stamps](std::size_t i) {
    Replay& replay = argument.replays[i];
    keepRead(replay, fs_.readPrefix(replay.path, kReplayHeaderSize, (*stamps)[i]));
  });
}

std::optional<std::string> ReplayReads::firstPath() {
  for (Argument& argument : arguments_) {
    workers_.waitFor(&argument == &arguments_.front() ? firstBatch_ : restBatch_);
    if (!argument.replays.empty()) return argument.replays.front().path;
  }
  return std::nullopt;
}

std::vector<Replay> ReplayReads::all() {
  workers_.waitForAll();
  // One argument (a dropped folder, say): its list is the run's, without a second copy.
  if (arguments_.size() == 1) return std::move(arguments_.front().replays);
  std::size_t count = 0;
  for (const Argument& argument : arguments_) count += argument.replays.size();
  std::vector<Replay> replays;
  replays.reserve(count);
  for (Argument& argument : arguments_) {
    for (Replay& replay : argument.replays) replays.push_back(std::move(replay));
    argument.replays = std::vector<Replay>();
  }
  return replays;
}
