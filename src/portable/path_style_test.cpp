#include "portable/path_style.h"

#include <gtest/gtest.h>

namespace {

// A name joined to a folder, and the folder part cut from the path again.
TEST(PathStyle, PathsInAFolder) {
  struct Case {
    const char* folder;
    PathStyle style;
    const char* path;
    const char* folderPart;
  } cases[] = {
      {"d", PathStyle::kPosix, "d/a.rep", "d/"},
      {"d/", PathStyle::kPosix, "d/a.rep", "d/"},
      {"/", PathStyle::kPosix, "/a.rep", "/"},
      {"d\\", PathStyle::kPosix, "d\\/a.rep", "d\\/"},
      {"", PathStyle::kPosix, "a.rep", ""},
      {"C:\\x", PathStyle::kWindows, "C:\\x\\a.rep", "C:\\x\\"},
      {"C:\\", PathStyle::kWindows, "C:\\a.rep", "C:\\"},
      {"C:/x/", PathStyle::kWindows, "C:/x/a.rep", "C:/x/"},
      {"C:", PathStyle::kWindows, "C:a.rep", "C:"},  // drive C's current folder
      {"a:", PathStyle::kPosix, "a:/a.rep", "a:/"},
      {"z:", PathStyle::kWindows, "z:a.rep", "z:"},
      {"1:", PathStyle::kWindows, "1:\\a.rep", "1:\\"},  // no drive
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pathInFolder(c.folder, "a.rep", c.style), c.path);
    EXPECT_EQ(folderPart(c.path, c.style), c.folderPart) << c.path;
  }
}

TEST(PathStyle, OnlyTheDialoguesSeparatorEndsADestination) {
  EXPECT_TRUE(endsWithSeparator("d/", PathStyle::kPosix));
  EXPECT_FALSE(endsWithSeparator("d/", PathStyle::kWindows));
  EXPECT_FALSE(endsWithSeparator("", PathStyle::kPosix));
}

}  // namespace
