#include "naming/tokens.h"

#include <algorithm>
#include <utility>

#include "naming/roster.h"

const std::vector<Token> kTokens = {
    {"/n", 30, "リプレイ名", "the replay's name",
     [](const TokenFacts& f) { return trimReplayName(f.replay.name); }},
    {"/1", 40, "1Pキャラ(英語)", "1P's character (English)",
     [](const TokenFacts& f) { return std::string(characterAbbreviations(f.replay.header).p1); }},
    {"/2", 50, "2Pキャラ(英語)", "2P's character (English)",
     [](const TokenFacts& f) { return std::string(characterAbbreviations(f.replay.header).p2); }},
    {"/j", 10, "1Pキャラ(日本語)", "1P's character (Japanese)",
     [](const TokenFacts& f) { return std::string(characterNames(f.replay.header).p1); }},
    {"/J", 20, "2Pキャラ(日本語)", "2P's character (Japanese)",
     [](const TokenFacts& f) { return std::string(characterNames(f.replay.header).p2); }},
    {"/s", 110, "ステージ", "the stage",
     [](const TokenFacts& f) { return std::string(stageLabel(f.replay.header)); }},
    {"/3", 60, "1P壱符", "1P's first card",
     [](const TokenFacts& f) { return std::string(cardLabels(f.replay.header).first1P); }},
    {"/4", 70, "1P弐符", "1P's second card",
     [](const TokenFacts& f) { return std::string(cardLabels(f.replay.header).second1P); }},
    {"/5", 80, "2P壱符", "2P's first card",
     [](const TokenFacts& f) { return std::string(cardLabels(f.replay.header).first2P); }},
    {"/6", 90, "2P弐符", "2P's second card",
     [](const TokenFacts& f) { return std::string(cardLabels(f.replay.header).second2P); }},
    {"/0", 100, "連番", "a running number: 000, 001, ...",
     [](const TokenFacts& f) { return sequenceText(f.sequence); }},
    {"/d", 120, "対戦日時mmdd", "the match date as mmdd",
     [](const TokenFacts& f) { return dateText(f.replay.header.month, f.replay.header.day); }},
};

TokenValues gatherTokenValues(const std::vector<Token>& tokens, const TokenFacts& facts) {
  TokenValues values;
  values.reserve(tokens.size());
  for (const Token& token : tokens) values.push_back(token.value(facts));
  return values;
}

std::string substituteTokens(std::string_view format, const std::vector<Token>& tokens,
                             const TokenValues& values) {
  std::vector<std::size_t> byTurn(tokens.size());
  for (std::size_t i = 0; i < byTurn.size(); ++i) byTurn[i] = i;
  std::stable_sort(byTurn.begin(), byTurn.end(), [&tokens](std::size_t a, std::size_t b) {
    return tokens[a].turn < tokens[b].turn;
  });
  std::string text(format);
  for (const std::size_t row : byTurn) replaceAll(&text, tokens[row].text, values[row]);
  return text;
}

void replaceAll(std::string* text, std::string_view token, std::string_view value) {
  if (token.empty()) return;
  std::size_t pos = text->find(token);
  if (pos == std::string::npos) return;
  // Built anew rather than edited in place, so many occurrences cost linear time.
  std::string result;
  std::size_t start = 0;
  for (; pos != std::string::npos; pos = text->find(token, start)) {
    result.append(*text, start, pos - start);
    result.append(value);
    start = pos + token.size();
  }
  result.append(*text, start, std::string::npos);
  *text = std::move(result);
}

namespace {

std::string twoCharacterText(int value) {
  std::string text = std::to_string(value);
  return text.size() == 1 ? "0" + text : text;
}

}  // namespace

std::string dateText(int month, int day) { return twoCharacterText(month) + twoCharacterText(day); }

std::string sequenceText(int64_t counter) {
  std::string text = std::to_string(counter);
  if (text.size() < 3) text.insert(0, 3 - text.size(), '0');
  return text;
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
