#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "replay/header.h"

struct ComposedName {
  ReplayStatus status = ReplayStatus::kOpenFailed;
  std::string name;  // set when status is kOk
};

// The new base name of a replay from its header, as read: every token's text gathered, then
// substituted into `format` by the tokens' turns (naming/tokens.h); advances the sequence
// counter only for a replay that can be named.
ComposedName composeName(std::string_view format, const ReplayFile& replay,
                         int64_t* sequenceCounter);
