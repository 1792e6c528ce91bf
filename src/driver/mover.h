#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver/free_name.h"
#include "driver/replay_list.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"
#include "portable/path_style.h"

// How large a group of copies grows before it is made durable: this many replays, this many
// bytes copied, or this long since its first copy began, whichever comes first.
inline constexpr std::size_t kGroupFiles = 64;
inline constexpr uint64_t kGroupBytes = uint64_t{64} << 20;
inline constexpr std::chrono::milliseconds kGroupTime{500};

struct GroupLimits {
  std::size_t files = kGroupFiles;
  uint64_t bytes = kGroupBytes;
  std::chrono::steady_clock::duration time = kGroupTime;
};

// One replay's outcome: its path as given, and where it went or was meant to go.
struct Outcome {
  std::string path;
  Placement placed;
};

// Where the mover tells what became of the replays: each one's outcome once it is final, in the
// order the replays came, and the end of each group of copies, whose outcomes come together.
struct MoveReports {
  std::function<void(const Outcome&)> outcome;
  std::function<void()> groupEnd;
};

// The moves of one run. A move is a rename where the new name lies on the replay's file system,
// numbered when the name is taken (driver/free_name.h); elsewhere a copy, made durable a group at
// a time. A rename never overtakes a copy: the group in hand is settled first. Every copy goes
// the same way, in this order, written once in settle():
//   1. staged: the source copied into the target's folder (MovingReplay::stageCopy);
//   2. the group's data flushed to disk, once;
//   3. each copy named in turn, never replacing, numbered as renames are when its name is taken;
//   4. the group's new names flushed to disk, once;
//   5. each source removed, only while its path names the very file copied, unchanged;
//   6. the outcomes reported in the order the replays came.
// A copy that fails at any step is removed and its source stays where it was.
class Mover {
 public:
  Mover(FileSystem& fs, StopRequests& stops, PathStyle style, MoveReports reports,
        GroupLimits limits = {});

  // Opens `replay` for its move to `target` (none: it moves nowhere) once the copies in hand
  // that must come first are settled: one of the same file (a replay given twice), which the
  // group holds against every other opener, and all of them before a rename or where nothing
  // moves. So no replay is held while a group before it is flushed.
  std::unique_ptr<MovingReplay> open(const Replay& replay, const std::string* target);
  // Moves `replay`, opened by open() as `moving`, to `target`, the target as composed: renamed,
  // or copied in the group, which is settled once it is as large as a group should be.
  void move(const Replay& replay, std::unique_ptr<MovingReplay> moving, const std::string& target);
  // Finishes every move of the group in hand, as above, and reports them. The group is empty
  // afterwards.
  void settle();

 private:
  // How far a copy has come.
  enum class State { kStaged, kNamed, kMoved, kFailed };
  struct Copy {
    std::string path;       // the source, as given
    FileStamp stamp;        // the file its read found
    std::string composed;   // the target as composed, which numbered names are made from
    std::string target;     // where it went, or was meant to go: set as it is named
    bool collided = false;  // the composed target was taken
    std::unique_ptr<StagedCopy> staged;  // until it is settled, or fails
    State state = State::kStaged;
    MoveResult failure;  // why, for kFailed
  };

  // True when a move of the file `stamp` found to `target` is known to be a copy: one from its
  // file system into that folder was. Such a move is staged without a rename tried first.
  bool copies(const FileStamp& stamp, const std::string& target) const;
  // True when the group holds a copy of the file `stamp` found.
  bool holds(const FileStamp& stamp) const;
  // The replay renamed to `target`, or to its numbered form; none where `target` lies on another
  // file system, with nothing done.
  std::optional<Placement> rename(const Replay& replay, MovingReplay& moving,
                                  const std::string& target);
  // Copies `replay` for its move to `target`; the copy takes its name when the group is settled.
  void add(const Replay& replay, std::unique_ptr<MovingReplay> moving, const std::string& target);
  bool full() const;
  // Fails every copy still in `state` with `result`, unless it is a success.
  void failAll(State state, const MoveResult& result);
  void fail(Copy& copy, const MoveResult& result);
  void name(Copy& copy);

  FileSystem& fs_;
  StopRequests& stops_;
  const PathStyle style_;
  const MoveReports reports_;
  const GroupLimits limits_;
  FreeNameMemo memo_;
  std::vector<Copy> copies_;
  uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point started_;
  // Which file systems' files are copied into which folders: (the file's volume, the folder).
  std::set<std::pair<uint64_t, std::string>> copyingInto_;
};
