#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/mover.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"
#include "portable/path_style.h"
#include "portable/workers.h"

// Output to a file or pipe is written out at least once per this many replays reported.
inline constexpr std::size_t kOutputGroup = 64;

// The whole run over the replay paths in `args`: the dialogue, every move, the summary and the
// final pause. The headers are read on `workers` while the prompts wait. Stop requests are held
// while files move and asked after each replay. A write that fails ends the run as a stop request
// would, with status 1. Returns the process's exit status.
// `home` is the user's home folder, for a destination typed as ~/folder (POSIX paths only);
// `limits` how large a group of copies to another file system grows.
int runRenamer(const std::vector<std::string>& args, Console& console, FileSystem& fs,
               StopRequests& stops, Workers& workers, PathStyle style, const std::string& home = "",
               const GroupLimits& limits = {});
