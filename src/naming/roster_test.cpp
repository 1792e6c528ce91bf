#include "naming/roster.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cp932.h"

namespace {

// The text as a Japanese Windows shows it redirected. Fails the test if it has no such form.
std::string inCp932(std::string_view utf8) {
  std::optional<std::string> text = toCp932(utf8);
  EXPECT_TRUE(text.has_value()) << "not in code page 932: " << utf8;
  return text.value_or("");
}

// Every byte of a roster text, trail bytes of double-byte characters included, must be allowed
// in a Windows file name.
void expectFileSafe(const std::string& cp932, std::string_view what) {
  for (unsigned char b : cp932) {
    EXPECT_EQ(std::string_view("/\\:*?\"<>|").find(static_cast<char>(b)), std::string_view::npos)
        << what << " holds byte " << static_cast<int>(b);
  }
}

// The number of double-byte characters, or -1 when the text is not all double-byte.
int doubleByteCount(const std::string& cp932) {
  int count = 0;
  for (std::size_t i = 0; i < cp932.size(); i += 2, ++count) {
    unsigned char lead = static_cast<unsigned char>(cp932[i]);
    bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!isLead || i + 1 >= cp932.size()) return -1;
  }
  return count;
}

TEST(Roster, CharactersHaveDistinctAbbreviationsAndNames) {
  std::set<std::string_view> abbreviations(std::begin(CHARACTER_ABBREVIATIONS),
                                           std::end(CHARACTER_ABBREVIATIONS));
  std::set<std::string_view> names(std::begin(CHARACTER_NAMES_JA), std::end(CHARACTER_NAMES_JA));
  EXPECT_EQ(abbreviations.size(), 11u);
  EXPECT_EQ(names.size(), 11u);
  EXPECT_EQ(CHARACTER_ABBREVIATIONS[0], "Kov");
  EXPECT_EQ(CHARACTER_ABBREVIATIONS[1], "Dru");
  for (std::string_view a : CHARACTER_ABBREVIATIONS) {
    ASSERT_EQ(a.size(), 3u) << a;
    EXPECT_TRUE(a[0] >= 'A' && a[0] <= 'Z') << a;
    EXPECT_TRUE(a[1] >= 'a' && a[1] <= 'z' && a[2] >= 'a' && a[2] <= 'z') << a;
  }
  for (std::string_view n : CHARACTER_NAMES_JA) {
    std::string sjis = inCp932(n);
    int chars = doubleByteCount(sjis);
    EXPECT_GE(chars, 1) << n;
    EXPECT_LE(chars, 5) << n;
    expectFileSafe(sjis, n);
  }
}

TEST(Roster, EveryCardLabelIsTwoDoubleByteCharacters) {
  for (const auto* table : {&FIRST_CARD_LABELS, &SECOND_CARD_LABELS}) {
    for (std::string_view label : *table) {
      std::string sjis = inCp932(label);
      EXPECT_EQ(sjis.size(), 4u) << label;
      EXPECT_EQ(doubleByteCount(sjis), 2) << label;
      expectFileSafe(sjis, label);
    }
  }
}

TEST(Roster, StagesFollowTheirSlotPattern) {
  std::size_t longest = 0;
  std::set<std::string_view> places;
  for (int slot = 0; slot < kStageCount; ++slot) {
    std::string sjis = inCp932(STAGE_LABELS[slot]);
    expectFileSafe(sjis, STAGE_LABELS[slot]);
    EXPECT_LE(sjis.size(), 29u) << slot;
    longest = std::max(longest, sjis.size());
  }
  EXPECT_EQ(longest, 29u);

  auto placeOf = [](std::string_view label) { return label.substr(0, label.rfind(' ')); };
  auto timeOf = [](std::string_view label) { return label.substr(label.rfind(' ') + 1); };
  for (int slot = 0; slot < 6; ++slot) {
    std::string_view day = STAGE_LABELS[slot];
    std::string_view night = STAGE_LABELS[slot + 10];
    ASSERT_NE(day.rfind(' '), std::string_view::npos) << slot;
    EXPECT_EQ(placeOf(day), placeOf(night)) << slot;
    EXPECT_EQ(timeOf(day), "昼");
    EXPECT_EQ(timeOf(night), "夜");
    places.insert(placeOf(day));
  }
  for (int slot = 6; slot < 10; ++slot) {
    EXPECT_FALSE(STAGE_LABELS[slot].empty());
    EXPECT_EQ(STAGE_LABELS[slot].find(' '), std::string_view::npos) << slot;
    places.insert(STAGE_LABELS[slot]);
  }
  EXPECT_EQ(places.size(), 10u) << "ten different places";
  for (int slot = 16; slot < 20; ++slot) EXPECT_TRUE(STAGE_LABELS[slot].empty()) << slot;
  EXPECT_EQ(placeOf(STAGE_LABELS[20]), placeOf(STAGE_LABELS[0]));
  EXPECT_EQ(timeOf(STAGE_LABELS[20]), "夕");
  for (std::string_view time : {"昼", "夜", "夕"}) {
    EXPECT_EQ(doubleByteCount(inCp932(time)), 1) << "a one-kanji word";
  }
}

}  // namespace
