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
  int64_t sequence = 7;
  const TokenValues values = gatherTokenValues(replay, &sequence);
  std::set<std::size_t> turns;
  for (const Token& token : kTokens) {
    const std::string text(token.text);
    EXPECT_NE(console.out.find("  " + text + "    " + std::string(token.helpText) + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(usage.find("  " + text + "  " + std::string(token.usageText) + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(substituteTokens("<" + text + ">", values),
              "<" + std::string(token.value(values)) + ">")
        << text;
    turns.insert(token.substitution);
  }
  EXPECT_EQ(turns.size(), kTokenCount);
  EXPECT_EQ(*turns.rbegin(), kTokenCount - 1);
}

}  // namespace
