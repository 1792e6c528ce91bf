#include "driver/dialogue.h"

#include <gtest/gtest.h>

#include "expected_texts.h"
#include "script_console.h"

namespace {

using namespace expected;

constexpr PathStyle kWindows = PathStyle::kWindows;
constexpr PathStyle kPosix = PathStyle::kPosix;

// Characters whose second byte in Shift-JIS is 0x5C, the backslash; in UTF-8 no byte is.
#define SO "ソ"
#define HYO "表"
#define NOU "能"

TEST(DirectoryOf, CutsAfterTheLastSeparatorPastTheFirstByte) {
  struct Case {
    const char* path;
    PathStyle style;
    const char* directory;  // nullptr: none
  } cases[] = {
      {"C:\\replays\\a.rep", kWindows, "C:\\replays\\"},
      {"C:/replays/a.rep", kWindows, nullptr},
      {"\\a.rep", kWindows, nullptr},
      {"a.rep", kWindows, nullptr},
      {"\\\\server\\a.rep", kWindows, "\\\\server\\"},
      {"C:\\replays\\" SO ".rep", kWindows, "C:\\replays\\"},
      {"C:\\replays\\" HYO, kWindows, "C:\\replays\\"},
      {"C:\\" NOU "\\" HYO SO ".rep", kWindows, "C:\\" NOU "\\"},
      {SO ".rep", kWindows, nullptr},
      {SO "\\a.rep", kWindows, SO "\\"},
      {"C:\\Replays\\José\\a.rep", kWindows, "C:\\Replays\\José\\"},
      {"/home/u/replays/a.rep", kPosix, "/home/u/replays/"},
      {"/a.rep", kPosix, nullptr},
      {"replays/a.rep", kPosix, "replays/"},
      {"a.rep", kPosix, "./"},  // typed in a terminal: the current folder
      {"", kPosix, nullptr},
      {"/", kPosix, nullptr},
      {"d/", kPosix, "d/"},
      {"d/\xE8\xA1\xA8.rep", kPosix, "d/"},  // UTF-8 bytes are never ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directoryOf(c.path, c.style).value_or("(none)"), c.directory ? c.directory : "(none)")
        << c.path;
  }
}

TEST(AskDestination, OffersTheFirstFilesDirectory) {
  struct Case {
    const char* path;
    const char* answer;
    const char* destination;
  } cases[] = {
      {"C:\\replays\\a.rep", "", "C:\\replays\\"},
      {"C:\\replays\\a.rep", "D:\\out", "D:\\out\\"},
      {"C:\\replays\\a.rep", "D:\\out\\", "D:\\out\\"},
      {"C:\\replays\\a.rep", " x ", " x \\"},             // taken as typed
      {"C:\\replays\\a.rep", "D:\\" SO, "D:\\" SO "\\"},  // its last byte is no separator
      {"C:\\" HYO "\\a.rep", "", "C:\\" HYO "\\"},
  };
  for (const Case& c : cases) {
    ScriptConsole console;
    console.answers = {c.answer};
    EXPECT_EQ(askDestination(c.path, console, kWindows).value_or("(none)"), c.destination);
    EXPECT_EQ(console.out, kOfferPrompt);
  }
}

TEST(AskDestination, WithoutDirectoryAnEmptyAnswerCancels) {
  for (const char* path : {"a.rep", "C:/replays/a.rep", "\\a.rep", SO ".rep"}) {
    ScriptConsole console;
    console.answers = {""};
    EXPECT_FALSE(askDestination(path, console, kWindows).has_value()) << path;
    EXPECT_EQ(console.out, kCancelPrompt);
  }
  ScriptConsole console;  // a typed answer is taken as the folder it names
  console.answers = {"~/out"};
  EXPECT_EQ(askDestination("/a.rep", console, kPosix,
                           [](const std::string& answer) { return "/home/me" + answer.substr(1); })
                .value_or("(none)"),
            "/home/me/out/");
}

TEST(AskFormat, EmptyMeansReplayNameAndQuestionMarkShowsHelp) {
  struct Case {
    std::deque<std::string> answers;
    std::optional<std::string> format;
    int helpScreens;
  } cases[] = {
      {{""}, "/n", 0},       {{"/1vs/2"}, "/1vs/2", 0},     {{" /n "}, " /n ", 0},
      {{"?", "x"}, "x", 1},  {{"??", "?abc", ""}, "/n", 2}, {{"a?"}, "a?", 0},
      {{}, std::nullopt, 0}, {{"?"}, std::nullopt, 1},
  };
  for (const Case& c : cases) {
    ScriptConsole console;
    console.answers = c.answers;
    EXPECT_EQ(askFormat(console), c.format);
    EXPECT_EQ(countOf(console.out, "\nHow to use\n"), c.helpScreens);
    // Each help screen holds three example arrows of its own.
    EXPECT_EQ(countOf(console.out, "===>"), 1 + 4 * c.helpScreens);
  }
}

}  // namespace
