#include "driver/copy_group.h"

CopyGroup::CopyGroup(FileSystem& fs, StopRequests& stops, PathStyle style, FreeNameMemo& memo,
                     GroupLimits limits)
    : fs_(fs), stops_(stops), style_(style), memo_(memo), limits_(limits) {}

bool CopyGroup::copies(const FileStamp& stamp, const std::string& target) const {
  if (copyingInto_.empty()) return false;
  return copyingInto_.count({stamp.volume, std::string(folderPart(target, style_))}) != 0;
}

bool CopyGroup::holds(const FileStamp& stamp) const {
  for (const Copy& copy : copies_) {
    if (copy.stamp == stamp) return true;
  }
  return false;
}

void CopyGroup::add(const Replay& replay, std::unique_ptr<MovingReplay> moving,
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
  copy.staged = fs_.stageCopy(std::move(moving), target, header, stops_, &staged);
  if (copy.staged) {
    bytes_ += copy.staged->size();
  } else {
    fail(copy, staged);
  }
}

bool CopyGroup::full() const {
  return copies_.size() >= limits_.files || bytes_ >= limits_.bytes ||
         std::chrono::steady_clock::now() - started_ >= limits_.time;
}

std::vector<Outcome> CopyGroup::settle() {
  if (copies_.empty()) return {};
  // The data on disk before any name, so that no name can ever show a copy's data unwritten.
  failAll(State::kStaged, fs_.flushCopies(inState(State::kStaged)));
  // A closed window leaves the process seconds: the copies in hand are given up, not named.
  if (stops_.closing()) failAll(State::kStaged, MoveResult{MoveError::kInterrupted, {}});
  // In order, so that each finds the names taken by those before it, as moves one by one would.
  for (Copy& copy : copies_) name(copy);
  // The names on disk before any source goes.
  failAll(State::kNamed, fs_.flushNames(inState(State::kNamed)));
  for (Copy& copy : copies_) {
    if (copy.state != State::kNamed) continue;
    const MoveResult removed = copy.staged->removeSource();
    if (removed.ok()) {
      copy.state = State::kMoved;
    } else {
      fail(copy, removed);
    }
  }
  std::vector<Outcome> outcomes;
  outcomes.reserve(copies_.size());
  for (Copy& copy : copies_) {
    const MoveResult moved = copy.state == State::kMoved ? MoveResult() : copy.failure;
    outcomes.push_back({std::move(copy.path), {std::move(copy.target), copy.collided, moved}});
  }
  copies_.clear();     // a copy whose move failed goes, before its replay is reported
  memo_.held.clear();  // their names are files now, or free again
  return outcomes;
}

std::vector<StagedCopy*> CopyGroup::inState(State state) const {
  std::vector<StagedCopy*> staged;
  for (const Copy& copy : copies_) {
    if (copy.state == state) staged.push_back(copy.staged.get());
  }
  return staged;
}

void CopyGroup::failAll(State state, const MoveResult& result) {
  if (result.ok()) return;
  for (Copy& copy : copies_) {
    if (copy.state == state) fail(copy, result);
  }
}

void CopyGroup::fail(Copy& copy, const MoveResult& result) {
  // A name given back is free again for the numbering.
  if (copy.state == State::kNamed) noteFreed(fs_, &memo_, copy.target, style_);
  copy.state = State::kFailed;
  copy.failure = result;
}

// A copy that could not be made is reported where it would have gone, numbered as a failed
// move to a taken name is.
void CopyGroup::name(Copy& copy) {
  const bool staged = copy.state == State::kStaged;
  const PutAt put = [&copy, staged](const std::string& to) {
    return staged ? copy.staged->name(to) : copy.failure;
  };
  Placement placed = placeAtFreeName(fs_, copy.path, copy.composed, style_, &memo_, put);
  copy.target = std::move(placed.target);
  copy.collided = placed.collided;
  if (placed.moved.ok()) {
    copy.state = State::kNamed;
    memo_.held.push_back(copy.target);  // open until the group is settled, maybe to no other
  } else if (staged) {
    fail(copy, placed.moved);
  }
}
