#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "replay/header.h"

// What the texts of a replay's tokens are made of: the replay as read, and its number in the
// run (for /0).
struct TokenFacts {
  const ReplayFile& replay;
  int64_t sequence;
};

// One token of the file-name format: its text, its turn in substitution, how the help screen and
// --help describe it, and the text it stands for. Adding a token is adding a row to kTokens.
struct Token {
  std::string_view text;       // "/n"
  int turn;                    // substituted by increasing turn; the turns leave room between
  std::string_view helpText;   // the help screen's words, in Japanese
  std::string_view usageText;  // --help's words, in English
  std::string (*value)(const TokenFacts&);
};

// The tokens, in the order the help screen lists them.
extern const std::vector<Token> kTokens;

// The texts of a replay's tokens, one for each row of the table they were gathered for.
using TokenValues = std::vector<std::string>;

// Gathers the texts of `tokens` for one replay, before any is substituted.
TokenValues gatherTokenValues(const std::vector<Token>& tokens, const TokenFacts& facts);

// Substitutes `values`, gathered for `tokens`, into `format` by the tokens' turns. A later token
// may be formed across text an earlier one inserted.
std::string substituteTokens(std::string_view format, const std::vector<Token>& tokens,
                             const TokenValues& values);

// Replaces every occurrence of `token` in `text` by `value`, left to right; inserted values are
// never scanned again.
void replaceAll(std::string* text, std::string_view token, std::string_view value);

// Month and day as mmdd: each signed decimal, a lone character prefixed with "0".
std::string dateText(int month, int day);

// The sequence number padded to at least three digits.
std::string sequenceText(int64_t counter);

// The tokens' lines of the help screen, "  /n    リプレイ名" and so on.
std::string helpScreenTokenLines();

// The tokens' lines of --help, "  /n  the replay's name" and so on.
std::string usageTokenLines();
