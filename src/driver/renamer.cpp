#include "driver/renamer.h"

#include <cstdint>
#include <optional>

#include "driver/dialogue.h"
#include "driver/fatal.h"
#include "driver/free_name.h"
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

}  // namespace

int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               PathStyle style) {
  if (args.empty()) {
    console.write(".rep ファイルをexeにドロップしてください\n");
    pauseBeforeExit(console);
    return kExitSuccess;
  }

  std::optional<std::string> destination = askDestination(args[0], console, style);
  if (!destination) return fatalStop(console, StopCode::kCancelled);
  console.write("出力ディレクトリ " + *destination + "\n");
  console.write("ファイル名のフォーマットを入力してください (?でヘルプを表示)\n");
  std::optional<std::string> format = askFormat(console);
  if (!format) return fatalStop(console, StopCode::kCancelled);

  int errors = 0;
  int warnings = 0;
  int64_t sequence = 0;
  FreeNameMemo takenNames;
  for (const std::string& path : args) {
    console.write(path + "\n    ===>");
    ComposedName composed = composeName(fs, *format, path, &sequence);
    if (composed.status == ReplayStatus::kOpenFailed) {
      return fatalStop(console, StopCode::kFileOpenError);
    }
    if (composed.status == ReplayStatus::kAbnormal) {
      return fatalStop(console, StopCode::kAbnormalFile);
    }

    std::string target = *destination + composed.name + ".rep";
    const bool collided = fs.opensForReading(target);
    if (collided) {
      target = findFreeName(fs, target, style, &takenNames);
      ++warnings;
    }
    MoveResult moved = fs.move(path, target);
    if (moved.ok()) {
      noteMoved(&takenNames, path, target, style);
      console.write(target + (collided ? " -- Rename successful!(Warning: file already exists)"
                                       : " -- Rename successful!"));
    } else {
      ++errors;
      console.write(target);
      console.writeError(" -- Error: " + moveErrorText(moved) + "\n");
    }
    console.write("\n");
  }

  console.write(summaryLine(args.size(), errors, warnings));
  pauseBeforeExit(console);
  return kExitSuccess;
}
