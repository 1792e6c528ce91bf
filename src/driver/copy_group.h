#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
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

// The moves to another file system of one run, which are copies, made durable a group at a time.
// Every copy goes the same way, in this order, written once in settle():
//   1. staged: the source copied into the target's folder (add);
//   2. the group's data flushed to disk, once;
//   3. each copy named in turn, never replacing, numbered as renames are when its name is taken;
//   4. the group's new names flushed to disk, once;
//   5. each source removed, only while its path names the very file copied, unchanged;
//   6. the outcomes reported in the order the replays came.
// A copy that fails at any step is removed and its source stays where it was.
class CopyGroup {
 public:
  CopyGroup(FileSystem& fs, StopRequests& stops, PathStyle style, FreeNameMemo& memo,
            GroupLimits limits = {});

  // True when a move of the file `stamp` found to `target` is known to be a copy: one from its
  // file system into that folder was. Such a move is added without a rename tried first.
  bool copies(const FileStamp& stamp, const std::string& target) const;
  // True when the group holds a copy of the file `stamp` found (a replay given twice).
  bool holds(const FileStamp& stamp) const;
  // Copies `replay`, opened for its move as `moving`, for its move to `target`, the target as
  // composed; the copy takes its name when the group is settled.
  void add(const Replay& replay, std::unique_ptr<MovingReplay> moving, const std::string& target);
  // True when the group is as large as a group should be.
  bool full() const;
  // Finishes every move of the group, as above, and returns each replay's outcome in the order
  // added. The group is empty afterwards.
  std::vector<Outcome> settle();

 private:
  // How far a copy has come.
  enum class State { kStaged, kNamed, kMoved, kFailed };
  struct Copy {
    std::string path;       // the source, as given
    FileStamp stamp;        // the file its read found
    std::string composed;   // the target as composed, which numbered names are made from
    std::string target;     // where it went, or was meant to go: set as it is named
    bool collided = false;  // the composed target was taken
    std::unique_ptr<StagedCopy> staged;  // until it is settled
    State state = State::kStaged;
    MoveResult failure;  // why, for kFailed
  };

  std::vector<StagedCopy*> inState(State state) const;
  // Fails every copy still in `state` with `result`, unless it is a success.
  void failAll(State state, const MoveResult& result);
  void fail(Copy& copy, const MoveResult& result);
  void name(Copy& copy);

  FileSystem& fs_;
  StopRequests& stops_;
  const PathStyle style_;
  FreeNameMemo& memo_;
  const GroupLimits limits_;
  std::vector<Copy> copies_;
  uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point started_;
  // Which file systems' files are copied into which folders: (the file's volume, the folder).
  std::set<std::pair<uint64_t, std::string>> copyingInto_;
};
