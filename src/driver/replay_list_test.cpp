#include "driver/replay_list.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplayList, WhichNamesAreReplays) {
  for (const char* name : {"a.rep", "A.REP", "b.Rep", ".rep", "x y.rEP", "表.rep"}) {
    EXPECT_TRUE(isReplayFileName(name)) << name;
  }
  for (const char* name : {"rep", "a.re", "a.rep.txt", "a_rep", "a.repx", ".reprename-ab12"}) {
    EXPECT_FALSE(isReplayFileName(name)) << name;
  }
}

TEST(ReplayList, PathsInAFolder) {
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
