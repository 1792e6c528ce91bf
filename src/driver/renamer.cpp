#include "driver/renamer.h"

#include <cstdint>
#include <optional>

#include "driver/destination.h"
#include "driver/dialogue.h"
#include "driver/ending.h"
#include "driver/mover.h"
#include "driver/outcomes.h"
#include "driver/replay_list.h"
#include "naming/compose.h"
#include "portable/windows_paths.h"

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

// What the moves of one run share.
struct Batch {
  Batch(Console& console_, FileSystem& fs_, StopRequests& stops_, PathStyle style,
        const std::string& destination_, const std::string& format_, const GroupLimits& limits)
      : console(console_),
        fs(fs_),
        stops(stops_),
        destination(destination_),
        format(format_),
        mover(fs_, stops_, style,
              {[this](const Outcome& o) { reportOutcome(o); }, [this] { groupEnded(); }}, limits) {}

  // Output to a file or pipe is written out every kOutputGroup replays and after each group of
  // copies, so that a kill loses few lines of what was done.
  void reportOutcome(const Outcome& outcome) {
    report(console, outcome.path, outcome.placed, &tally);
    if (++unwritten == kOutputGroup) writeOut();
  }
  void groupEnded() {
    if (unwritten != 0) writeOut();
  }
  void writeOut() {
    console.flush();
    unwritten = 0;
  }

  Console& console;
  FileSystem& fs;
  StopRequests& stops;
  const std::string& destination;
  const std::string& format;
  Tally tally;
  int64_t sequence = 0;       // behind the token /0
  std::size_t unwritten = 0;  // replays reported since the output was last written out
  Mover mover;
};

std::string targetOf(const Batch& batch, const ComposedName& composed) {
  return batch.destination + composed.name + std::string(kReplayExtension);
}

// The replay opened for its move, at its turn.
std::unique_ptr<MovingReplay> openAtItsTurn(Batch& batch, const Replay& replay,
                                            const ComposedName& composed) {
  const std::string target = targetOf(batch, composed);
  return batch.mover.open(replay, composed.status == ReplayStatus::kOk ? &target : nullptr);
}

// One replay: named from its header, moved, reported. Returns how the run ends when the replay
// ends it.
std::optional<EarlyEnd> moveReplay(Batch& batch, Replay& replay) {
  const int64_t sequence = batch.sequence;
  ComposedName composed = composeName(batch.format, replay.file, &batch.sequence);
  std::unique_ptr<MovingReplay> moving;
  if (replay.file.status == ReplayStatus::kOk) {
    moving = openAtItsTurn(batch, replay, composed);
    // What moves is what was read: a path that names another file now is read again.
    if (moving->namesAnotherFile()) {
      moving.reset();
      readReplay(batch.fs, replay);
      batch.sequence = sequence;
      composed = composeName(batch.format, replay.file, &batch.sequence);
      if (replay.file.status == ReplayStatus::kOk) moving = openAtItsTurn(batch, replay, composed);
    }
  }
  if (composed.status != ReplayStatus::kOk) {
    batch.mover.settle();
    batch.console.write(replay.path + "\n    ===>");
    return composed.status == ReplayStatus::kAbnormal ? EarlyEnd::kAbnormalFile
                                                      : EarlyEnd::kFileOpenError;
  }
  batch.mover.move(replay, std::move(moving), targetOf(batch, composed));
  return std::nullopt;
}

// The moves, one replay after another in argument order, until the last, a replay that ends the
// run, a stop request or a failed write; then the summary, or the end that came.
int moveAll(Batch& batch, std::vector<Replay>& replays) {
  std::optional<EarlyEnd> early;
  {
    HeldStops held(batch.stops);
    for (Replay& replay : replays) {
      early = moveReplay(batch, replay);
      if (early || batch.stops.requested() || batch.console.writeFailure()) break;
    }
    batch.mover.settle();  // the group in hand is finished
  }
  // Asked after each replay, and once more for a request that came as the hold ended; the key
  // wait of a fatal stop comes only after the hold.
  if (batch.stops.requested()) return endAsRequested(batch.console, batch.stops);
  if (batch.console.writeFailure()) return kExitStopped;
  if (early) return fatalStop(batch.console, *early);

  batch.console.write(summaryLine(replays.size(), batch.tally.errors, batch.tally.warnings));
  pauseBeforeExit(batch.console);
  return kExitSuccess;
}

int runDialogue(const std::vector<std::string>& args, Console& console, FileSystem& fs,
                StopRequests& stops, Workers& workers, PathStyle style, const std::string& home,
                const GroupLimits& limits) {
  ReplayReads reads(fs, workers, args, style);
  const std::optional<std::string> firstPath = reads.firstPath();
  if (!firstPath) {
    console.write(".rep ファイルをexeにドロップしてください\n");
    pauseBeforeExit(console);
    return kExitSuccess;
  }

  // An answer that names no folder as typed is read as the system would read it too: on Linux
  // as a terminal gives a dragged folder, ~/ and a pasted file:// URI; on Windows by its own
  // path rules, which drop the blanks and dots a paste leaves behind the folder's name.
  const auto toFolder = [&fs, &home, style](const std::string& answer) {
    const std::vector<std::string> forms = style == PathStyle::kPosix
                                               ? destinationForms(answer, home)
                                               : std::vector{windowsTrimmedPath(answer)};
    return folderOfTypedAnswer(answer, forms,
                               [&fs](const std::string& path) { return fs.isFolder(path); });
  };
  std::optional<std::string> destination = askDestination(*firstPath, console, style, toFolder);
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
  Batch batch(console, fs, stops, style, *destination, *format, limits);
  return moveAll(batch, replays);
}

}  // namespace

int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               StopRequests& stops, Workers& workers, PathStyle style, const std::string& home,
               const GroupLimits& limits) {
  const int status = runDialogue(args, console, fs, stops, workers, style, home, limits);
  console.flush();
  if (std::optional<std::string> failure = console.writeFailure()) {
    console.writeError("reprename: write error: " + *failure + "\n");
    return kExitStopped;
  }
  return status;
}
