#include "portable/move_error.h"

#include <gtest/gtest.h>

namespace {

// A failure the tool names shows its row's words, whatever the system said; any other shows the
// system's own. The words themselves are checked against the README and the manual page by the
// release check, which reads them from the same table.
TEST(MoveError, ARowsWordsOrTheSystemsOwn) {
  struct Case {
    MoveResult result;
    const char* text;
  } cases[] = {
      {{MoveError::kSourceChanged, ""}, "Device or resource busy"},
      {{MoveError::kOther, "File name too long"}, "File name too long"},
  };
  for (const Case& c : cases) EXPECT_EQ(moveErrorText(c.result), c.text);
}

}  // namespace
