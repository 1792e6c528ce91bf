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

}  // namespace

int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               StopRequests& stops, PathStyle style) {
  const std::vector<Replay> replays = gatherReplays(fs, args, style);
  if (replays.empty()) {
    console.write(".rep ファイルをexeにドロップしてください\n");
    pauseBeforeExit(console);
    return kExitSuccess;
  }

  std::optional<std::string> destination = askDestination(replays[0].path, console, style);
  if (!destination) return fatalStop(console, EarlyEnd::kCancelled);
  console.write("出力ディレクトリ " + *destination + "\n");
  console.write("ファイル名のフォーマットを入力してください (?でヘルプを表示)\n");
  std::optional<std::string> format = askFormat(console);
  if (!format) return fatalStop(console, EarlyEnd::kCancelled);

  int errors = 0;
  int warnings = 0;
  int64_t sequence = 0;
  FreeNameMemo takenNames;
  std::optional<EarlyEnd> early;
  {
    HeldStops held(stops);
    for (const Replay& replay : replays) {
      console.write(replay.path + "\n    ===>");
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
