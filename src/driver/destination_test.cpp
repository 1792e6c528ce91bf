#include "driver/destination.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Destination answers as a Linux terminal spells them, against the folders that exist.
TEST(Destination, AnswersAsATerminalSpellsThem) {
  const std::set<std::string> folders = {"/home/me/replay archive", "/home/me/arch", "'q'",
                                         "/tmp/it's", "/home/me/a\\b\\c"};
  auto isFolder = [&](const std::string& path) { return folders.count(path) != 0; };
  const struct {
    const char* typed;
    const char* settled;
  } cases[] = {
      {"/home/me/arch", "/home/me/arch"},                               // as typed
      {"'/home/me/replay archive' ", "/home/me/replay archive"},        // dragged in
      {"  \"/home/me/replay archive\"", "/home/me/replay archive"},     // double quotes
      {"/home/me/replay\\ archive", "/home/me/replay archive"},         // backslash escape
      {"'/tmp/it'\\''s' ", "/tmp/it's"},                                // a quote inside
      {"~/arch", "/home/me/arch"},                                      // from HOME
      {"'~/replay archive'", "/home/me/replay archive"},                // quoted, then HOME
      {"file:///home/me/replay%20archive", "/home/me/replay archive"},  // a pasted URI
      {"file:///home/me%2freplay%20archive", "/home/me/replay archive"},
      {"file:///home/me%2Farch", "/home/me/arch"},
      {"file:///home/me/arch%zz", "file:///home/me/arch%zz"},
      {"\"/home/me/a\\\\b\\c\"", "/home/me/a\\b\\c"},  // "\\" is one, "\c" two
      {"file://localhost/home/me/arch ", "/home/me/arch"},
      {"'q'", "'q'"},                        // a folder named with quotes wins
      {"'/nowhere' ", "'/nowhere' "},        // nothing there: as typed
      {"'/home/me/arch", "'/home/me/arch"},  // unbalanced quotes: as typed
      {"/home/me/replay archive x", "/home/me/replay archive x"},  // two words
      {"file:///home/me/arch%2", "file:///home/me/arch%2"},        // a broken escape
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folderOfTypedAnswer(c.typed, destinationForms(c.typed, "/home/me"), isFolder),
              c.settled)
        << c.typed;
  }
  EXPECT_EQ(folderOfTypedAnswer("~/arch", destinationForms("~/arch", ""), isFolder), "~/arch")
      << "no HOME";
}

}  // namespace
