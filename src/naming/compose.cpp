#include "naming/compose.h"

#include <utility>

#include "naming/roster.h"
#include "naming/tokens.h"

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

TokenValues gatherTokenValues(const ReplayFile& replay, int64_t* sequenceCounter) {
  TokenValues values;
  const ReplayHeader& header = replay.header;
  const PlayerLabels abbreviations = characterAbbreviations(header);
  values.abbreviation1P = abbreviations.p1;
  values.abbreviation2P = abbreviations.p2;
  const PlayerLabels names = characterNames(header);
  values.name1PJa = names.p1;
  values.name2PJa = names.p2;
  const CardLabels cards = cardLabels(header);
  values.firstCard1P = cards.first1P;
  values.secondCard1P = cards.second1P;
  values.firstCard2P = cards.first2P;
  values.secondCard2P = cards.second2P;
  values.stage = stageLabel(header);
  values.date = dateText(header.month, header.day);
  values.sequence = sequenceText((*sequenceCounter)++);
  values.replayName = trimReplayName(replay.name);
  return values;
}

std::string substituteTokens(std::string_view format, const TokenValues& values) {
  std::string text(format);
  for (const Token* token : tokensInSubstitutionOrder()) {
    replaceAll(&text, token->text, token->value(values));
  }
  return text;
}

ComposedName composeName(std::string_view format, const ReplayFile& replay,
                         int64_t* sequenceCounter) {
  ComposedName result;
  result.status = replay.status;
  if (replay.status != ReplayStatus::kOk) return result;
  result.name = substituteTokens(format, gatherTokenValues(replay, sequenceCounter));
  return result;
}
