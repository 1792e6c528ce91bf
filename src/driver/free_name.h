#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"
#include "portable/path_style.h"

// What the collision search has learned in this run, so that n files composing to one name cost
// O(n) existence tests instead of O(n^2).
struct FreeNameMemo {
  // By stem (a target without ".rep"): every numbered name stem0 .. stem(k-1) is known taken.
  std::unordered_map<std::string, uint64_t> takenBelow;
  // The stems of takenBelow by the key of their last path component (FileSystem::nameKey), so
  // that a move away from a numbered name is matched however it and its folder were spelled.
  std::unordered_map<std::string, std::vector<std::string>> stemsByFileName;
  // Names the run holds itself, which other openers may be refused (a copy not yet settled).
  std::vector<std::string> held;
};

// True when `path` cannot be a replay's new name: the run holds it, or it is taken on the disk.
bool isTaken(FileSystem& fs, const FreeNameMemo& memo, const std::string& path);

// The first of `target` without ".rep" followed by 0, 1, 2, ... and ".rep" that is not taken;
// `target` ends in ".rep". It starts where the memo knows the names are taken, so
// as long as only this run changes the folder it finds the same name as a search from 0.
std::string findFreeName(FileSystem& fs, const std::string& target, PathStyle style,
                         FreeNameMemo* memo);

// Tells the memo about a successful move: `to` is taken now, and `from` is free.
void noteMoved(FileSystem& fs, FreeNameMemo* memo, std::string_view from, std::string_view to,
               PathStyle style);
// Tells the memo that `path` is free again (a new name undone).
void noteFreed(FileSystem& fs, FreeNameMemo* memo, std::string_view path, PathStyle style);

// Where one replay went, or was meant to go.
struct Placement {
  std::string target;     // the composed target, or its numbered form when that was taken
  bool collided = false;  // the composed target was taken: a warning
  MoveResult moved;
};

// Puts one replay from `source` under `target` or, where that is taken, under the first free
// numbered form of it, with `put`, which never replaces anything. `first` is what putting it
// under `target` did, where that was tried: not where `target` is `source` itself in some
// spelling, which is taken by the replay itself. The numbered form is tried once, with the
// collision noted. The name is tried before the existence test, so a free name costs one `put`;
// the outcome is the one of testing first. A success is told to the memo.
using PutAt = std::function<MoveResult(const std::string& to)>;
Placement placeAtFreeName(FileSystem& fs, const std::string& source, std::string target,
                          PathStyle style, FreeNameMemo* memo,
                          const std::optional<MoveResult>& first, const PutAt& put);
