#include "driver/renamer.h"

#include <cstdint>
#include <optional>

#include "driver/dialogue.h"
#include "driver/fatal.h"
#include "driver/free_name.h"
#include "driver/replay_list.h"
#include "naming/compose.h"

std::string moveErrorText(const MoveResult& result) {
  switch (result.error) {
    case MoveError::kNone:
      return "";
    case MoveError::kNotFound:
      return "No such file or directory";
    case MoveError::kAccessDenied:
      return "Permission denied";
    case MoveError::kAlreadyExists:
      return "File already exists";
    case MoveError::kCrossDevice:
      return "Cross-device link";
    case MoveError::kReadOnly:
      return "Read-only file system";
    case MoveError::kDiskFull:
      return "No space left on device";
    case MoveError::kInvalidArgument:
      return "Invalid argument";
    case MoveError::kOther:
      break;
  }
  return result.otherText;
}

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

}  // namespace

int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               StopRequests& stops, Workers& workers, PathStyle style) {
  ReplayReads reads(fs, workers, args, style);
  const std::optional<std::string> firstPath = reads.firstPath();
  if (!firstPath) {
    console.write(".rep ファイルをexeにドロップしてください\n");
    pauseBeforeExit(console);
    return kExitSuccess;
  }

  std::optional<std::string> destination = askDestination(*firstPath, console, style);
  if (!destination) return cancelled(console, reads);
  console.write("出力ディレクトリ " + *destination + "\n");
  console.write("ファイル名のフォーマットを入力してください (?でヘルプを表示)\n");
  std::optional<std::string> format = askFormat(console);
  if (!format) return cancelled(console, reads);

  // Nothing moves before every header is read, so no outcome depends on how the reads went.
  std::vector<Replay> replays = reads.all();

  int errors = 0;
  int warnings = 0;
  int64_t sequence = 0;
  FreeNameMemo takenNames;
  std::optional<EarlyEnd> early;
  {
    HeldStops held(stops);
    for (Replay& replay : replays) {
      console.write(replay.path + "\n    ===>");
      // What moves is what was read: a path that names another file now is read again.
      if (replay.file.status == ReplayStatus::kOk &&
          fs.recheck(replay.path, replay.stamp) == PathNow::kOther) {
        replay.file = readReplayFile(fs, replay.path);
      }
      ComposedName composed = composeName(*format, replay.file, &sequence);
      if (composed.status != ReplayStatus::kOk) {
        early = composed.status == ReplayStatus::kAbnormal ? EarlyEnd::kAbnormalFile
                                                           : EarlyEnd::kFileOpenError;
        break;
      }

      Placement placed =
          placeReplay(fs, replay.path, *destination + composed.name + std::string(kReplayExtension),
                      style, &takenNames);
      if (placed.collided) ++warnings;
      if (placed.moved.ok()) {
        console.write(placed.target + (placed.collided
                                           ? " -- Rename successful!(Warning: file already exists)"
                                           : " -- Rename successful!"));
      } else {
        ++errors;
        console.write(placed.target);
        console.writeError(" -- Error: " + moveErrorText(placed.moved) + "\n");
      }
      console.write("\n");
      if (stops.requested()) break;
    }
  }
  // Asked after each replay, and once more for a request that came as the hold ended; the key
  // wait of a fatal stop comes only after the hold.
  if (stops.requested()) return endAsRequested(console, stops);
  if (early) return fatalStop(console, *early);

  console.write(summaryLine(replays.size(), errors, warnings));
  pauseBeforeExit(console);
  return kExitSuccess;
}
