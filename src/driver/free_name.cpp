#include "driver/free_name.h"

#include <algorithm>
#include <functional>

#include "replay/header.h"

namespace {

// Calls `visit(stem, number)` for every way `name` reads as stem + number + ".rep" with the number
// written as findFreeName writes it (no leading zeros). The extension is matched ignoring case.
void forEachNumberedReading(std::string_view name,
                            const std::function<void(std::string_view, uint64_t)>& visit) {
  if (!isReplayFileName(name)) return;
  std::string_view stem = name.substr(0, name.size() - kReplayExtension.size());
  uint64_t number = 0;
  uint64_t scale = 1;
  for (std::size_t digits = 1; digits <= std::min<std::size_t>(stem.size(), 19); ++digits) {
    const char c = stem[stem.size() - digits];
    if (c < '0' || c > '9') return;
    number += static_cast<uint64_t>(c - '0') * scale;
    scale *= 10;
    if (c != '0' || digits == 1) visit(stem.substr(0, stem.size() - digits), number);
  }
}

std::string numberedName(std::string_view stem, uint64_t attempt) {
  std::string name(stem);
  name += std::to_string(attempt);
  name += kReplayExtension;
  return name;
}

}  // namespace

bool isTaken(FileSystem& fs, const FreeNameMemo& memo, const std::string& path) {
  for (const std::string& held : memo.held) {
    if (fs.samePath(held, path)) return true;
  }
  return fs.isTaken(path);
}

std::string findFreeName(FileSystem& fs, const std::string& target, PathStyle style,
                         FreeNameMemo* memo) {
  const std::string stem = target.substr(0, target.size() - kReplayExtension.size());
  auto [known, isNew] = memo->takenBelow.try_emplace(stem, 0);
  if (isNew) memo->stemsByFileName[fs.nameKey(fileNamePart(stem, style))].push_back(stem);
  uint64_t attempt = known->second;
  std::string candidate = numberedName(stem, attempt);
  while (isTaken(fs, *memo, candidate)) candidate = numberedName(stem, ++attempt);
  known->second = attempt;
  return candidate;
}

void noteFreed(FileSystem& fs, FreeNameMemo* memo, std::string_view path, PathStyle style) {
  if (memo->takenBelow.empty()) return;  // no name has collided yet: nothing to keep up to date
  // No run of taken names known to the memo may reach past a free name.
  forEachNumberedReading(fileNamePart(path, style), [&](std::string_view fileStem, uint64_t n) {
    auto stems = memo->stemsByFileName.find(fs.nameKey(fileStem));
    if (stems == memo->stemsByFileName.end()) return;
    for (const std::string& stem : stems->second) {
      uint64_t& below = memo->takenBelow[stem];
      below = std::min(below, n);
    }
  });
}

void noteMoved(FileSystem& fs, FreeNameMemo* memo, std::string_view from, std::string_view to,
               PathStyle style) {
  if (memo->takenBelow.empty()) return;  // no name has collided yet: nothing to keep up to date
  noteFreed(fs, memo, from, style);
  // The target is taken now: when it is the next number of a run, the run grows by one.
  forEachNumberedReading(to, [&](std::string_view stem, uint64_t n) {
    auto known = memo->takenBelow.find(std::string(stem));
    if (known != memo->takenBelow.end() && known->second == n) ++known->second;
  });
}

Placement placeAtFreeName(FileSystem& fs, const std::string& source, std::string target,
                          PathStyle style, FreeNameMemo* memo,
                          const std::optional<MoveResult>& first, const PutAt& put) {
  Placement placement;
  if (first) placement.moved = *first;
  if (!first || !first->ok()) {
    if (isTaken(fs, *memo, target)) {
      placement.collided = true;
      target = findFreeName(fs, target, style, memo);
      placement.moved = put(target);
    } else if (!first) {
      placement.moved = put(target);
    }
  }
  if (placement.moved.ok()) noteMoved(fs, memo, source, target, style);
  placement.target = std::move(target);
  return placement;
}
