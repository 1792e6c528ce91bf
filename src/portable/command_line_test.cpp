#include "portable/command_line.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

// Characters whose second byte in Shift-JIS is 0x5C, the backslash; in UTF-8 no byte is.
#define SO "ソ"
#define HYO "表"
#define NOU "能"

TEST(SplitCommandLine, ArgumentsAfterTheProgram) {
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      {"reprename.exe", {"reprename.exe"}},
      {"reprename.exe a.rep b.rep", {"reprename.exe", "a.rep", "b.rep"}},
      {"reprename.exe  \t a.rep\t\tb.rep \t", {"reprename.exe", "a.rep", "b.rep"}},
      {"\"C:\\Program Files\\reprename.exe\" \"C:\\My Replays\\a b.rep\" c.rep",
       {"C:\\Program Files\\reprename.exe", "C:\\My Replays\\a b.rep", "c.rep"}},
      {"x.exe C:\\\"quoted\\\".rep", {"x.exe", "C:\"quoted\".rep"}},
      {"x.exe a\"b c\"d", {"x.exe", "ab cd"}},
      {"x.exe \"\" a", {"x.exe", "", "a"}},
      {"x.exe \"\"", {"x.exe", ""}},
      {"x.exe C:\\dir\\ b", {"x.exe", "C:\\dir\\", "b"}},
      {"x.exe \\\\server\\share\\a.rep", {"x.exe", "\\\\server\\share\\a.rep"}},
      // A backslash before a quote is a literal quote, so the group goes on to the end.
      {"x.exe \"C:\\dir\\\" b", {"x.exe", "C:\\dir\" b"}},
      {"x.exe \"unclosed group", {"x.exe", "unclosed group"}},
      {"x.exe *.rep ?.rep", {"x.exe", "*.rep", "?.rep"}},  // no wildcard expansion
      {"\"C:\\x y\\p.exe\"a.rep",
       {"C:\\x y\\p.exe"
        "a.rep"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(splitCommandLine(c.line), c.args) << c.line;
    EXPECT_EQ(argumentsAfterProgram(c.line), Args(c.args.begin() + 1, c.args.end())) << c.line;
  }
}

TEST(SplitCommandLine, NoByteOfAJapaneseCharacterIsABackslashOrQuote) {
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      // The 0x5C of ソ before a quote does not turn the quote into a literal one.
      {"x.exe \"C:\\" SO "\" b.rep", {"x.exe", "C:\\" SO, "b.rep"}},
      {"x.exe \"C:\\" HYO "\\" NOU ".rep\"", {"x.exe", "C:\\" HYO "\\" NOU ".rep"}},
      {"x.exe C:\\" SO, {"x.exe", "C:\\" SO}},
      {"x.exe \"" NOU "\"", {"x.exe", NOU}},
      {"x.exe " HYO "\\\"", {"x.exe", HYO "\""}},
      {"x.exe \"C:\\d " SO "\\a.rep\" \"" SO "\"", {"x.exe", "C:\\d " SO "\\a.rep", SO}},
      {"x.exe \"C:\\Replays\\José\\\" ¥", {"x.exe", "C:\\Replays\\José\" ¥"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.args) << c.line;
}

TEST(SplitCommandLine, EmptyLineHasAnEmptyProgramOnly) {
  EXPECT_EQ(splitCommandLine(""), Args{""});
  EXPECT_EQ(splitCommandLine("\"C:\\p.exe"), Args{"C:\\p.exe"});  // its quote never closed
  EXPECT_EQ(splitCommandLine("  a"), (Args{"", "a"}));
}

}  // namespace
