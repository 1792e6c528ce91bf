#include "driver/renamer.h"

#include <cstdint>
#include <optional>

#include "driver/destination.h"
#include "driver/dialogue.h"
#include "driver/fatal.h"
#include "driver/free_name.h"
#include "driver/outcomes.h"
#include "driver/replay_list.h"
#include "naming/compose.h"

namespace {

std::string summaryLine(std::size_t files, int errors, int warnings) {
  return std::to_string(files) + " File(s) " + std::to_string(errors) + " Error(s) " +
         std::to_string(warnings) + " Warning(s) \n";
}

// Every outcome line written so far reaches its stream, then the process ends as it was asked.
int endAsRequested(Console& console, StopRequests& stops) {
  console.flush();
  return stops.endAsRequested();
}

// The run ends at a prompt: the reads still waiting are dropped, not awaited.
int cancelled(Console& console, ReplayReads& reads) {
  reads.cancel();
  return fatalStop(console, EarlyEnd::kCancelled);
}

// The moves, one replay after another in argument order; copies to another file system are made
// durable in groups, and reported when their group is.
int moveAll(std::vector<Replay>& replays, const std::string& destination, const std::string& format,
            Console& console, FileSystem& fs, StopRequests& stops, PathStyle style) {
  Tally tally;
  int64_t sequence = 0;
  FreeNameMemo takenNames;
  std::vector<PendingCopy> copies;
  std::size_t unwritten = 0;  // replays reported since the output was last written out
  auto writeOut = [&] {
    console.flush();
    unwritten = 0;
  };
  auto settle = [&] {
    if (copies.empty()) return;
    settleCopies(fs, &copies, style, &takenNames, console, &tally);
    writeOut();
  };
  std::optional<EarlyEnd> early;
  {
    HeldStops held(stops);
    for (Replay& replay : replays) {
      // What moves is what was read: a path that names another file now is read again.
      if (replay.file.status == ReplayStatus::kOk &&
          fs.recheck(replay.path, replay.stamp) == PathNow::kOther) {
        replay.file = readReplayFile(fs, replay.path);
      }
      ComposedName composed = composeName(format, replay.file, &sequence);
      if (composed.status != ReplayStatus::kOk) {
        settle();
        console.write(replay.path + "\n    ===>");
        early = composed.status == ReplayStatus::kAbnormal ? EarlyEnd::kAbnormalFile
                                                           : EarlyEnd::kFileOpenError;
        break;
      }
      const std::string target = destination + composed.name + std::string(kReplayExtension);
      const std::string_view header(replay.file.bytes.data(), replay.file.bytes.size());
      const bool copy = fs.knownToCopy(replay.stamp, target);
      // A rename never overtakes a copy before it, nor a file its own copy.
      if (!copy || inGroup(copies, replay.stamp)) settle();
      Placement placed;
      if (copy) {
        placed.target = target;
      } else {
        placed = placeReplay(fs, replay.path, target, style, &takenNames);
      }
      if (copy || placed.moved.error == MoveError::kNeedsCopy) {
        copies.push_back(
            stageReplay(fs, replay.path, replay.stamp, target, std::move(placed), header));
        if (fs.stagedGroupFull()) settle();
      } else {
        report(console, replay.path, placed, &tally);
        if (++unwritten == kOutputGroup) writeOut();
      }
      if (stops.requested() || console.writeFailure()) break;
    }
    settle();  // the group in hand is finished
  }
  // Asked after each replay, and once more for a request that came as the hold ended; the key
  // wait of a fatal stop comes only after the hold.
  if (stops.requested()) return endAsRequested(console, stops);
  if (console.writeFailure()) return kExitStopped;
  if (early) return fatalStop(console, *early);

  console.write(summaryLine(replays.size(), tally.errors, tally.warnings));
  pauseBeforeExit(console);
  return kExitSuccess;
}

int runDialogue(const std::vector<std::string>& args, Console& console, FileSystem& fs,
                StopRequests& stops, Workers& workers, PathStyle style, const std::string& home) {
  ReplayReads reads(fs, workers, args, style);
  const std::optional<std::string> firstPath = reads.firstPath();
  if (!firstPath) {
    console.write(".rep ファイルをexeにドロップしてください\n");
    pauseBeforeExit(console);
    return kExitSuccess;
  }

  // A Linux terminal quotes a folder dragged into it, and users type ~/ and paste file:// URIs:
  // an answer that names no folder as typed is tried in those forms too. Windows keeps its own.
  SettleAnswer settle;
  if (style == PathStyle::kPosix) {
    settle = [&fs, &home](const std::string& answer) {
      return settleTypedDestination(answer, home,
                                    [&fs](const std::string& path) { return fs.isFolder(path); });
    };
  }
  std::optional<std::string> destination = askDestination(*firstPath, console, style, settle);
  if (!destination) return cancelled(console, reads);
  console.write("出力ディレクトリ " + *destination + "\n");
  console.write("ファイル名のフォーマットを入力してください (?でヘルプを表示)\n");
  std::optional<std::string> format = askFormat(console);
  if (!format) return cancelled(console, reads);
  if (console.writeFailure()) {  // nobody can read what happens: nothing moves
    reads.cancel();
    return kExitStopped;
  }

  // Nothing moves before every header is read, so no outcome depends on how the reads went.
  std::vector<Replay> replays = reads.all();
  return moveAll(replays, *destination, *format, console, fs, stops, style);
}

}  // namespace

int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               StopRequests& stops, Workers& workers, PathStyle style, const std::string& home) {
  const int status = runDialogue(args, console, fs, stops, workers, style, home);
  console.flush();
  if (std::optional<std::string> failure = console.writeFailure()) {
    console.writeError("reprename: write error: " + *failure + "\n");
    return kExitStopped;
  }
  return status;
}
