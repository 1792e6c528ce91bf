#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

struct TokenValues;

// One token of the file-name format: what it is replaced by, when, and how the help screen and
// --help describe it. Adding a token is adding a row.
struct Token {
  std::string_view text;       // "/n"
  std::size_t substitution;    // its turn in substitution, from 0
  std::string_view helpText;   // the help screen's words, in Japanese
  std::string_view usageText;  // --help's words, in English
  std::string_view (*value)(const TokenValues&);
};

inline constexpr std::size_t kTokenCount = 12;

// The tokens in the order the help screen lists them.
extern const Token kTokens[kTokenCount];

// The tokens in the order they are substituted.
const std::array<const Token*, kTokenCount>& tokensInSubstitutionOrder();

// The tokens' lines of the help screen, "  /n    リプレイ名" and so on.
std::string helpScreenTokenLines();

// The tokens' lines of --help, "  /n  the replay's name" and so on.
std::string usageTokenLines();
