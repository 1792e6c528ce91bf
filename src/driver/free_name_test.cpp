#include "driver/free_name.h"

#include <gtest/gtest.h>

#include "../tests/memory_file_system.h"

namespace {

TEST(FindFreeName, TakesTheFirstNumberThatDoesNotOpen) {
  struct Case {
    std::vector<std::string> taken;
    const char* result;
    int tests;
  } cases[] = {
      {{"X/abc.rep"}, "X/abc0.rep", 1},
      {{"X/abc.rep", "X/abc0.rep", "X/abc1.rep"}, "X/abc2.rep", 3},
      {{"X/abc.rep", "X/abc1.rep"}, "X/abc0.rep", 1},
      {{"X/abc.rep", "X/abc0.rep", "X/abc2.rep"}, "X/abc1.rep", 2},
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    for (const std::string& path : c.taken) fs.files[path] = "x";
    EXPECT_EQ(findFreeName(fs, "X/abc.rep"), c.result);
    EXPECT_EQ(fs.existenceTests, c.tests);
  }
}

TEST(FindFreeName, NumbersPastNineAndTenAppendDirectly) {
  MemoryFileSystem fs;
  for (int i = 0; i < 12; ++i) fs.files["d/r" + std::to_string(i) + ".rep"] = "x";
  EXPECT_EQ(findFreeName(fs, "d/r.rep"), "d/r12.rep");
  EXPECT_EQ(fs.log.front(), "open d/r0.rep");
  EXPECT_EQ(fs.log[10], "open d/r10.rep");
}

TEST(FindFreeName, EntriesThatDoNotOpenCountAsFree) {
  MemoryFileSystem fs;
  fs.otherEntries.insert("d/r0.rep");
  EXPECT_EQ(findFreeName(fs, "d/r.rep"), "d/r0.rep");
}

}  // namespace
