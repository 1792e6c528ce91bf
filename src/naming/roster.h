#pragma once

#include <string_view>

#include "replay/header.h"

// The roster: the texts that character, card and stage indices of a replay stand for, in UTF-8
// on every platform; the Windows console layer converts them where they are shown.
constexpr int kCharacterCount = 11;
constexpr int kCardsPerCharacter = 3;
constexpr int kCardCount = kCharacterCount * kCardsPerCharacter;
constexpr int kStageCount = 21;

extern const std::string_view CHARACTER_ABBREVIATIONS[kCharacterCount];
extern const std::string_view CHARACTER_NAMES_JA[kCharacterCount];
extern const std::string_view FIRST_CARD_LABELS[kCardCount];
extern const std::string_view SECOND_CARD_LABELS[kCardCount];
extern const std::string_view STAGE_LABELS[kStageCount];

// Card slot of a character's choice: character * 3 + choice, as plain integer arithmetic, so an
// odd choice may land in another character's cards.
int cardSlot(int character, int choice);

// The label in `slot` of a table, or the empty text when the slot lies outside it.
template <int N>
std::string_view rosterLabel(const std::string_view (&table)[N], int slot) {
  return slot >= 0 && slot < N ? table[slot] : std::string_view();
}

// The labels of one replay's two players, 1P first.
struct PlayerLabels {
  std::string_view p1;
  std::string_view p2;
};
PlayerLabels characterAbbreviations(const ReplayHeader& header);
PlayerLabels characterNames(const ReplayHeader& header);

// The labels of both players' first and second card choices.
struct CardLabels {
  std::string_view first1P;
  std::string_view second1P;
  std::string_view first2P;
  std::string_view second2P;
};
CardLabels cardLabels(const ReplayHeader& header);

std::string_view stageLabel(const ReplayHeader& header);
