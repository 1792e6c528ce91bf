#include "driver/mover.h"

Mover::Mover(FileSystem& fs, StopRequests& stops, PathStyle style, MoveReports reports,
             GroupLimits limits)
    : fs_(fs), stops_(stops), style_(style), reports_(std::move(reports)), limits_(limits) {}

std::unique_ptr<MovingReplay> Mover::open(const Replay& replay, const std::string* target) {
  if (target == nullptr || holds(replay.stamp) || !copies(replay.stamp, *target)) settle();
  return fs_.openForMove(replay.path, replay.stamp);
}

void Mover::move(const Replay& replay, std::unique_ptr<MovingReplay> moving,
                 const std::string& target) {
  if (!copies(replay.stamp, target)) {  // the group was settled before the open
    if (std::optional<Placement> renamed = rename(replay, *moving, target)) {
      reports_.outcome({replay.path, std::move(*renamed)});
      return;
    }
  }
  add(replay, std::move(moving), target);
  if (full()) settle();
}

void Mover::settle() {
  if (copies_.empty()) return;
  // The data on disk before any name, so that no name can ever show a copy's data unwritten.
  failAll(State::kStaged, fs_.flushCopies());
  // A closed window leaves the process seconds: the copies in hand are given up, not named.
  if (stops_.closing()) failAll(State::kStaged, MoveResult{MoveError::kInterrupted, {}});
  // In order, so that each finds the names taken by those before it, as moves one by one would.
  for (Copy& copy : copies_) name(copy);
  // The names on disk before any source goes.
  failAll(State::kNamed, fs_.flushNames());
  for (Copy& copy : copies_) {
    if (copy.state != State::kNamed) continue;
    const MoveResult removed = copy.staged->removeSource();
    if (removed.ok()) {
      copy.state = State::kMoved;
    } else {
      fail(copy, removed);
    }
  }
  for (Copy& copy : copies_) {
    const MoveResult moved = copy.state == State::kMoved ? MoveResult() : copy.failure;
    reports_.outcome({std::move(copy.path), {std::move(copy.target), copy.collided, moved}});
  }
  copies_.clear();
  memo_.held.clear();  // their names are files now, or free again
  reports_.groupEnd();
}

bool Mover::copies(const FileStamp& stamp, const std::string& target) const {
  if (copyingInto_.empty()) return false;
  return copyingInto_.count({stamp.volume, std::string(folderPart(target, style_))}) != 0;
}

bool Mover::holds(const FileStamp& stamp) const {
  for (const Copy& copy : copies_) {
    if (copy.stamp == stamp) return true;
  }
  return false;
}

// A replay composing to its own name, in whatever spelling, would be renamed to itself (Windows
// allows it): that name is taken, by the replay itself, and only its numbered form is tried. A
// system may refuse a taken name before it tells that the folder is on another file system:
// wherever that comes, the move is a copy.
std::optional<Placement> Mover::rename(const Replay& replay, MovingReplay& moving,
                                       const std::string& target) {
  bool anotherFileSystem = false;
  const PutAt put = [&moving, &anotherFileSystem](const std::string& to) {
    const RenameResult renamed = moving.rename(to);
    anotherFileSystem = renamed.how == Renamed::kAnotherFileSystem;
    return anotherFileSystem ? MoveResult{MoveError::kCrossDevice, {}} : renamed.failure;
  };
  std::optional<MoveResult> first;
  if (!fs_.samePath(replay.path, target)) first = put(target);
  if (anotherFileSystem) return std::nullopt;
  Placement placed = placeAtFreeName(fs_, replay.path, target, style_, &memo_, first, put);
  if (anotherFileSystem) return std::nullopt;
  return placed;
}

void Mover::add(const Replay& replay, std::unique_ptr<MovingReplay> moving,
                const std::string& target) {
  copyingInto_.emplace(replay.stamp.volume, std::string(folderPart(target, style_)));
  if (copies_.empty()) {
    started_ = std::chrono::steady_clock::now();
    bytes_ = 0;
  }
  Copy& copy = copies_.emplace_back();
  copy.path = replay.path;
  copy.stamp = replay.stamp;
  copy.composed = target;
  const std::string_view header(replay.file.bytes.data(), replay.file.bytes.size());
  MoveResult staged;
  copy.staged = moving->stageCopy(target, header, stops_, &staged);
  if (copy.staged) {
    bytes_ += copy.staged->size();
  } else {
    fail(copy, staged);
  }
}

bool Mover::full() const {
  return copies_.size() >= limits_.files || bytes_ >= limits_.bytes ||
         std::chrono::steady_clock::now() - started_ >= limits_.time;
}

void Mover::failAll(State state, const MoveResult& result) {
  if (result.ok()) return;
  for (Copy& copy : copies_) {
    if (copy.state == state) fail(copy, result);
  }
}

// A failed copy goes at once (so no flush covers it), and a name it gives back is free again for
// the numbering.
void Mover::fail(Copy& copy, const MoveResult& result) {
  if (copy.state == State::kNamed) noteFreed(fs_, &memo_, copy.target, style_);
  copy.staged.reset();
  copy.state = State::kFailed;
  copy.failure = result;
}

// A copy that could not be made is reported where it would have gone, numbered as a failed
// move to a taken name is.
void Mover::name(Copy& copy) {
  const bool staged = copy.state == State::kStaged;
  const PutAt put = [&copy, staged](const std::string& to) {
    return staged ? copy.staged->name(to) : copy.failure;
  };
  Placement placed =
      placeAtFreeName(fs_, copy.path, copy.composed, style_, &memo_, put(copy.composed), put);
  copy.target = std::move(placed.target);
  copy.collided = placed.collided;
  if (placed.moved.ok()) {
    copy.state = State::kNamed;
    memo_.held.push_back(copy.target);  // open until the group is settled, maybe to no other
  } else if (staged) {
    fail(copy, placed.moved);
  }
}
