#include "platform/path_style.h"

#include <gtest/gtest.h>

namespace {

TEST(PathStyle, PathsInAFolder) {
  struct Case {
    const char* folder;
    PathStyle style;
    const char* path;
  } cases[] = {
      {"d", PathStyle::kPosix, "d/a.rep"},
      {"d/", PathStyle::kPosix, "d/a.rep"},
      {"/", PathStyle::kPosix, "/a.rep"},
      {"d\\", PathStyle::kPosix, "d\\/a.rep"},
      {"C:\\x", PathStyle::kWindows, "C:\\x\\a.rep"},
      {"C:\\", PathStyle::kWindows, "C:\\a.rep"},
      {"C:/x/", PathStyle::kWindows, "C:/x/a.rep"},
      {"C:", PathStyle::kWindows, "C:a.rep"},
  };
  for (const Case& c : cases) EXPECT_EQ(pathInFolder(c.folder, "a.rep", c.style), c.path);
}

}  // namespace
