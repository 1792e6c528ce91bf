#pragma once

#include <string_view>

#include "replay/header.h"

// The roster: the texts that character, card and stage indices of a replay stand for. Texts are
// UTF-8 in the source; the Windows build stores them in Shift-JIS.
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

// The three label groups of one replay, each filled from its header.
void readCharacterAbbreviations(const ReplayHeader& header, std::string_view* abbreviation1P,
                                std::string_view* abbreviation2P);
void readCharacterNames(const ReplayHeader& header, std::string_view* name1P,
                        std::string_view* name2P);
void readCardAndStageLabels(const ReplayHeader& header, std::string_view* firstCard1P,
                            std::string_view* secondCard1P, std::string_view* firstCard2P,
                            std::string_view* secondCard2P, std::string_view* stageLabel);
