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
      {"C:", PathStyle::kWindows, "C:a.rep", ""},  // no stream of a typed "C:" name
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pathInFolder(c.folder, "a.rep", c.style), c.path);
    EXPECT_EQ(folderPart(c.path, c.style), c.folderPart) << c.path;
  }
}

}  // namespace
