#include "driver/outcomes.h"

#include <utility>

void report(Console& console, const std::string& path, const Placement& placed, Tally* tally) {
  console.write(path + "\n    ===>");
  if (placed.collided) ++tally->warnings;
  if (placed.moved.ok()) {
    console.write(placed.target + (placed.collided
                                       ? " -- Rename successful!(Warning: file already exists)\n"
                                       : " -- Rename successful!\n"));
    return;
  }
  ++tally->errors;
  console.write(placed.target);
  console.writeError(" -- Error: " + moveErrorText(placed.moved) + "\n");
  console.write("\n");
}

bool inGroup(const std::vector<PendingCopy>& group, const FileStamp& stamp) {
  for (const PendingCopy& pending : group) {
    if (pending.stamp == stamp) return true;
  }
  return false;
}

PendingCopy stageReplay(FileSystem& fs, const std::string& path, const FileStamp& stamp,
                        const std::string& composed, Placement placed, std::string_view header) {
  PendingCopy pending;
  pending.path = path;
  pending.stamp = stamp;
  pending.composed = composed;
  pending.placed = std::move(placed);
  pending.placed.moved = fs.stageCopy(path, pending.placed.target, header, &pending.copy);
  return pending;
}

void settleCopies(FileSystem& fs, std::vector<PendingCopy>* group, PathStyle style,
                  FreeNameMemo* memo, Console& console, Tally* tally) {
  if (group->empty()) return;
  const MoveResult flushed = fs.flushStaged();
  // Named in order, so each finds the names taken by those before it, as moves one by one would.
  for (PendingCopy& pending : *group) {
    Placement& placed = pending.placed;
    const bool staged = placed.moved.ok();
    if (staged && !flushed.ok()) {
      placed.moved = flushed;
      continue;
    }
    if (staged) placed.moved = fs.nameStaged(pending.copy, placed.target);
    // A copy that could not be made is reported where it would have gone.
    if (!placed.moved.ok() && !placed.collided && fs.opensForReading(placed.target)) {
      placed.collided = true;
      placed.target = findFreeName(fs, pending.composed, style, memo);
      if (staged) placed.moved = fs.nameStaged(pending.copy, placed.target);
    }
    if (placed.moved.ok()) noteMoved(fs, memo, pending.path, placed.target, style);
  }
  const std::vector<MoveResult> finished = fs.finishStaged();
  for (PendingCopy& pending : *group) {
    if (pending.placed.moved.ok() && !finished.at(pending.copy).ok()) {
      pending.placed.moved = finished[pending.copy];
      noteFreed(fs, memo, pending.placed.target, style);
    }
    report(console, pending.path, pending.placed, tally);
  }
  group->clear();
}
