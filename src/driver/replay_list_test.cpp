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

}  // namespace
