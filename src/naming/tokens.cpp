#include "naming/tokens.h"

#include "naming/compose.h"

const Token kTokens[kTokenCount] = {
    {"/n", 2, "リプレイ名", "the replay's name",
     [](const TokenValues& v) -> std::string_view { return v.replayName; }},
    {"/1", 3, "1Pキャラ(英語)", "1P's character (English)",
     [](const TokenValues& v) { return v.abbreviation1P; }},
    {"/2", 4, "2Pキャラ(英語)", "2P's character (English)",
     [](const TokenValues& v) { return v.abbreviation2P; }},
    {"/j", 0, "1Pキャラ(日本語)", "1P's character (Japanese)",
     [](const TokenValues& v) { return v.name1PJa; }},
    {"/J", 1, "2Pキャラ(日本語)", "2P's character (Japanese)",
     [](const TokenValues& v) { return v.name2PJa; }},
    {"/s", 10, "ステージ", "the stage", [](const TokenValues& v) { return v.stage; }},
    {"/3", 5, "1P壱符", "1P's first card", [](const TokenValues& v) { return v.firstCard1P; }},
    {"/4", 6, "1P弐符", "1P's second card", [](const TokenValues& v) { return v.secondCard1P; }},
    {"/5", 7, "2P壱符", "2P's first card", [](const TokenValues& v) { return v.firstCard2P; }},
    {"/6", 8, "2P弐符", "2P's second card", [](const TokenValues& v) { return v.secondCard2P; }},
    {"/0", 9, "連番", "a running number: 000, 001, ...",
     [](const TokenValues& v) -> std::string_view { return v.sequence; }},
    {"/d", 11, "対戦日時mmdd", "the match date as mmdd",
     [](const TokenValues& v) -> std::string_view { return v.date; }},
};

const std::array<const Token*, kTokenCount>& tokensInSubstitutionOrder() {
  static const std::array<const Token*, kTokenCount> order = [] {
    std::array<const Token*, kTokenCount> tokens{};
    for (const Token& token : kTokens) tokens.at(token.substitution) = &token;
    return tokens;
  }();
  return order;
}

std::string helpScreenTokenLines() {
  std::string lines;
  for (const Token& token : kTokens) {
    lines.append("  ").append(token.text).append("    ").append(token.helpText).append("\n");
  }
  return lines;
}

std::string usageTokenLines() {
  std::string lines;
  for (const Token& token : kTokens) {
    lines.append("  ").append(token.text).append("  ").append(token.usageText).append("\n");
  }
  return lines;
}
