#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "replay/header.h"

// The texts of one replay's twelve tokens, gathered before any is substituted.
struct TokenValues {
  std::string_view name1PJa;        // /j
  std::string_view name2PJa;        // /J
  std::string replayName;           // /n, trimmed
  std::string_view abbreviation1P;  // /1
  std::string_view abbreviation2P;  // /2
  std::string_view firstCard1P;     // /3
  std::string_view secondCard1P;    // /4
  std::string_view firstCard2P;     // /5
  std::string_view secondCard2P;    // /6
  std::string sequence;             // /0
  std::string_view stage;           // /s
  std::string date;                 // /d
};

// Replaces every occurrence of `token` in `text` by `value`, left to right; inserted values are
// never scanned again.
void replaceAll(std::string* text, std::string_view token, std::string_view value);

// Month and day as mmdd: each signed decimal, a lone character prefixed with "0".
std::string dateText(int month, int day);

// The sequence number padded to at least three digits.
std::string sequenceText(int64_t counter);

// Gathers the token values of a decoded replay; advances the run's sequence counter.
TokenValues gatherTokenValues(const ReplayFile& replay, int64_t* sequenceCounter);

// Substitutes the tokens into `format` in their fixed order (naming/tokens.h): /j /J /n /1 /2 /3
// /4 /5 /6 /0 /s /d.
// A later token may be formed across text an earlier one inserted.
std::string substituteTokens(std::string_view format, const TokenValues& values);

struct ComposedName {
  ReplayStatus status = ReplayStatus::kOpenFailed;
  std::string name;  // set when status is kOk
};

// The new base name of a replay from its header, as read; advances the sequence counter only
// for a replay that can be named.
ComposedName composeName(std::string_view format, const ReplayFile& replay,
                         int64_t* sequenceCounter);
