#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "driver/free_name.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "portable/path_style.h"

// What the summary counts.
struct Tally {
  int errors = 0;
  int warnings = 0;
};

// Writes one replay's lines, its path and then where it went or why it did not, and counts them.
void report(Console& console, const std::string& path, const Placement& placed, Tally* tally);

// A replay on its way to another file system, copied but not yet under its new name.
struct PendingCopy {
  std::string path;
  std::string composed;  // the target as composed, which numbered names are made from
  Placement placed;      // where it goes; `moved` is why it could not be copied, if it could not
  std::size_t copy = 0;  // the file system's number for the copy
  FileStamp stamp;       // the file its read found
};

// True when the file `stamp` found is in the group already (a replay given twice): it must move
// once, as one move after another would move it.
bool inGroup(const std::vector<PendingCopy>& group, const FileStamp& stamp);

// Copies `path` for the move `placed` describes, without naming the copy yet.
PendingCopy stageReplay(FileSystem& fs, const std::string& path, const FileStamp& stamp,
                        const std::string& composed, Placement placed, std::string_view header);

// Makes the group's copies durable together and reports each of its replays in order, numbering
// a taken name as a move in the group's place would have, then empties the group.
void settleCopies(FileSystem& fs, std::vector<PendingCopy>* group, PathStyle style,
                  FreeNameMemo* memo, Console& console, Tally* tally);
