#include "naming/tokens.h"

#include <gtest/gtest.h>

#include <set>

#include "driver/dialogue.h"
#include "driver/options.h"
#include "expected_texts.h"
#include "naming/compose.h"
#include "replay_writer.h"
#include "script_console.h"

namespace {

// Every token of the table is on the help screen and in --help with its words, and composes to
// its own value; the substitution turns are each taken once.
TEST(Tokens, HelpScreenUsageAndCompositionAgree) {
  ScriptConsole console;
  console.answers = {"?", "/n"};
  ASSERT_TRUE(askFormat(console));
  EXPECT_EQ(console.out, "===>" + expected::kHelpScreen + "===>") << "byte for byte";
  std::vector<std::string> args = {"--help"};
  const std::string usage = readOptions(&args, OptionSyntax::kOptions)->out;

  ReplayFields f;
  f.nameCodes = nameCodesFor("Go!");
  const ReplayFile replay = decodeReplayBytes(replayBytes(f));
  const TokenValues values = gatherTokenValues(kTokens, {replay, 7});
  std::set<int> turns;
  for (std::size_t row = 0; row < kTokens.size(); ++row) {
    const Token& token = kTokens[row];
    const std::string text(token.text);
    EXPECT_NE(console.out.find("  " + text + "    " + std::string(token.helpText) + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(usage.find("  " + text + "  " + std::string(token.usageText) + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(substituteTokens("<" + text + ">", kTokens, values), "<" + values[row] + ">") << text;
    turns.insert(token.turn);
  }
  EXPECT_EQ(turns.size(), kTokens.size());
}

// A new token is one row: its text, its turn between two others, its words and its value.
TEST(Tokens, ANewTokenIsOneRow) {
  std::vector<Token> tokens = kTokens;
  tokens.push_back({"/c", 65, "コメント", "a comment",
                    [](const TokenFacts& f) { return "#" + std::to_string(f.sequence); }});
  ReplayFields f;
  f.nameCodes = nameCodesFor("AB");
  const ReplayFile replay = decodeReplayBytes(replayBytes(f));
  EXPECT_EQ(substituteTokens("/n-/c-/0", tokens, gatherTokenValues(tokens, {replay, 3})),
            "AB-#3-003");
}

}  // namespace
