#include "naming/compose.h"

#include <gtest/gtest.h>

#include <map>

#include "naming/roster.h"
#include "naming/tokens.h"
#include "replay_writer.h"

namespace {

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanning) {
  struct Case {
    const char* text;
    const char* token;
    const char* value;
    const char* result;
  } cases[] = {
      {"a/nb", "/n", "XY", "aXYb"},
      {"/n/n/n", "/n", "", ""},
      {"/n-/n", "/n", "/n/n", "/n/n-/n/n"},  // inserted tokens stay
      {"//nn", "/n", "/", "//n"},            // nor is a token formed across the value
      {"/N/n", "/n", "x", "/Nx"},            // case-sensitive
      {"/j/J", "/j", "a", "a/J"},
      {"no token", "/n", "x", "no token"},
      {"", "/n", "x", ""},
      {"/", "/n", "x", "/"},
      {"abc/n", "/n", "日本語", "abc日本語"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    replaceAll(&text, c.token, c.value);
    EXPECT_EQ(text, c.result) << c.text << " " << c.token << " " << c.value;
  }
}

TEST(DateText, PadsEachPartToTwoCharacters) {
  struct Case {
    int month, day;
    const char* text;
  } cases[] = {
      {12, 31, "1231"}, {5, 7, "0507"},  {0, 0, "0000"},         {1, 10, "0110"},
      {-5, 7, "-507"},  {99, 9, "9909"}, {-128, 127, "-128127"}, {100, -1, "100-1"},
  };
  for (const Case& c : cases) EXPECT_EQ(dateText(c.month, c.day), c.text);
}

TEST(SequenceText, PadsToThreeDigits) {
  struct Case {
    int64_t counter;
    const char* text;
  } cases[] = {{0, "000"},
               {7, "007"},
               {42, "042"},
               {123, "123"},
               {999, "999"},
               {1000, "1000"},
               {1234, "1234"},
               {10000000, "10000000"},
               {2147483647, "2147483647"},
               {2147483648LL, "2147483648"}};
  for (const Case& c : cases) EXPECT_EQ(sequenceText(c.counter), c.text);
}

// Values for the rows of kTokens, by their tokens' texts.
using Sample = std::map<std::string, std::string>;
Sample sample() {
  return {{"/j", "一"}, {"/J", "二"}, {"/n", "1ab"}, {"/1", "Kov"}, {"/2", "Dru"}, {"/3", "c3"},
          {"/4", "c4"}, {"/5", "c5"}, {"/6", "c6"},  {"/0", "000"}, {"/s", ""},    {"/d", "1231"}};
}
std::string substitute(std::string_view format, const Sample& sample) {
  TokenValues values;
  for (const Token& token : kTokens) values.push_back(sample.at(std::string(token.text)));
  return substituteTokens(format, kTokens, values);
}

TEST(SubstituteTokens, AppliesTheTwelveTokensInTheirOrder) {
  struct Case {
    const char* format;
    const char* name;
  } cases[] = {
      {"/n", "1ab"},
      {"off02-/n", "off02-1ab"},
      {"05/d_/1vs/2", "051231_KovvsDru"},
      {"00/0/1(/3,/4)-/2(/5,/6)", "00000Kov(c3,c4)-Dru(c5,c6)"},
      {"/j/J", "一二"},
      {"[/s]", "[]"},
      {"/0/0", "000000"},
      {"plain", "plain"},
      {"/x/N/S/D/7", "/x/N/S/D/7"},
      {"//n", "Kovab"},  // "/n" gives "/1ab"; the later "/1" pass takes that "/1"
      {"/", "/"},
      {"/d/n", "12311ab"},
      {"//0", "/000"},  // "/0" comes after "/1" to "/6", so no token forms from "/000"
  };
  for (const Case& c : cases) EXPECT_EQ(substitute(c.format, sample()), c.name) << c.format;
}

TEST(SubstituteTokens, EarlierValueFormsLaterToken) {
  Sample v = sample();
  v["/j"] = "/";
  v["/n"] = "AB";
  // "/j" inserts "/", which with the format's "s" forms "/s"; "/n" inserts after "/J" ran.
  v["/s"] = "ST";
  EXPECT_EQ(substitute("/js", v), "ST");
  EXPECT_EQ(substitute("/J/n", v), "二AB");
  v["/n"] = "/";
  EXPECT_EQ(substitute("/nj", v), "/j") << "/j ran before /n inserted the slash";
}

class ComposeNameTest : public ::testing::Test {
 protected:
  std::string compose(const ReplayFields& f, std::string_view format) {
    ComposedName composed = composeName(format, decodeReplayBytes(replayBytes(f)), &sequence);
    EXPECT_EQ(composed.status, ReplayStatus::kOk);
    return composed.name;
  }
  int64_t sequence = 0;
};

TEST_F(ComposeNameTest, TrimsTheNameAndKeepsInnerBlanks) {
  ReplayFields f;
  f.nameCodes = nameCodesFor(" AB CD");
  EXPECT_EQ(compose(f, "/n"), "AB CD");
  f.nameCodes.fill(100);
  EXPECT_EQ(compose(f, "[/n]"), "[]");
}

TEST_F(ComposeNameTest, SequenceAdvancesOncePerFile) {
  ReplayFields f;
  EXPECT_EQ(compose(f, "/0/0"), "000000");
  EXPECT_EQ(compose(f, "/0"), "001");
  EXPECT_EQ(compose(f, "x"), "x");
  EXPECT_EQ(compose(f, "/0"), "003");
  EXPECT_EQ(sequence, 4);
}

TEST_F(ComposeNameTest, FailedReadDoesNotAdvanceSequence) {
  const ReplayFile bad = decodeReplayBytes(std::string(67, '\xff'));
  EXPECT_EQ(composeName("/0", bad, &sequence).status, ReplayStatus::kAbnormal);
  EXPECT_EQ(composeName("/0", ReplayFile(), &sequence).status, ReplayStatus::kOpenFailed);
  EXPECT_EQ(sequence, 0);
}

TEST_F(ComposeNameTest, RosterLookupsFollowEachPlayersOwnFields) {
  ReplayFields f;
  f.p1Character = 1;
  f.p1FirstCard = 2;
  f.p1SecondCard = 0;
  f.p2Character = 10;
  f.p2FirstCard = 2;
  f.p2SecondCard = 2;
  f.stage = 13;
  f.month = 3;
  f.day = 4;
  std::string expected = std::string(CHARACTER_ABBREVIATIONS[1]) + CHARACTER_NAMES_JA[1].data() +
                         std::string(FIRST_CARD_LABELS[5]) + std::string(SECOND_CARD_LABELS[3]) +
                         "|" + std::string(CHARACTER_ABBREVIATIONS[10]) +
                         std::string(CHARACTER_NAMES_JA[10]) + std::string(FIRST_CARD_LABELS[32]) +
                         std::string(SECOND_CARD_LABELS[32]) + "|" + std::string(STAGE_LABELS[13]) +
                         "|0304";
  EXPECT_EQ(compose(f, "/1/j/3/4|/2/J/5/6|/s|/d"), expected);
}

TEST_F(ComposeNameTest, SameCharacterBothSidesStillOwnCards) {
  ReplayFields f;
  f.p1Character = f.p2Character = 4;
  f.p1FirstCard = 0;
  f.p2FirstCard = 1;
  EXPECT_EQ(compose(f, "/1/2"), "TevTev");
  EXPECT_EQ(compose(f, "/j/J"),
            std::string(CHARACTER_NAMES_JA[4]) + std::string(CHARACTER_NAMES_JA[4]));
  EXPECT_EQ(compose(f, "/3/5"),
            std::string(FIRST_CARD_LABELS[12]) + std::string(FIRST_CARD_LABELS[13]));
}

TEST_F(ComposeNameTest, IndicesOutsideTheTablesGiveTheEmptyText) {
  struct Case {
    int character, firstCard, stage;
    std::string abbreviation, card, stageLabel;
  } cases[] = {
      {11, 0, 16, "", "", ""},  // past every table
      {-1, 0, -1, "", "", ""},  // sign-extended 0xFF
      {-128, 0, -128, "", "", ""},
      {127, 2, 127, "", "", ""},
      {0, 5, 19, "Kov", std::string(FIRST_CARD_LABELS[5]), ""},  // another character's card
      {-1, 3, 20, "", std::string(FIRST_CARD_LABELS[0]), std::string(STAGE_LABELS[20])},
      {10, 3, 21, "Vas", "", ""},  // slot 33
      {0, -1, 0, "Kov", "", std::string(STAGE_LABELS[0])},
  };
  for (const Case& c : cases) {
    ReplayFields f;
    f.p1Character = c.character;
    f.p1FirstCard = c.firstCard;
    f.stage = c.stage;
    EXPECT_EQ(compose(f, "/1|/3|/s"), c.abbreviation + "|" + c.card + "|" + c.stageLabel)
        << c.character << " " << c.firstCard << " " << c.stage;
  }
}

}  // namespace
