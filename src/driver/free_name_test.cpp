#include "driver/free_name.h"

#include <gtest/gtest.h>

#include <random>

#include "memory_file_system.h"

namespace {

constexpr PathStyle kPosix = PathStyle::kPosix;
constexpr PathStyle kWindows = PathStyle::kWindows;

std::string asciiUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return text;
}

// The search as it is meant to behave: from 0 up, every time.
std::string plainFreeName(FileSystem& fs, const std::string& target) {
  const std::string stem = target.substr(0, target.size() - 4);
  for (uint64_t attempt = 0;; ++attempt) {
    std::string candidate = stem + std::to_string(attempt) + ".rep";
    if (!fs.isTaken(candidate)) return candidate;
  }
}

// A rename under a free name, as the renamer makes one.
Placement rename(MemoryFileSystem& fs, const std::string& source, const std::string& target,
                 PathStyle style, FreeNameMemo* memo) {
  const PutAt put = [&](const std::string& to) { return fs.move(source, to); };
  std::optional<MoveResult> first;  // a replay is not renamed to itself
  if (!fs.samePath(source, target)) first = put(target);
  return placeAtFreeName(fs, source, target, style, memo, first, put);
}

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
      {{"X/abc.rep", "X/abc0.rep", "X/abc1.rep", "X/abc2.rep", "X/abc3.rep", "X/abc4.rep",
        "X/abc5.rep", "X/abc6.rep", "X/abc7.rep", "X/abc8.rep", "X/abc9.rep", "X/abc10.rep"},
       "X/abc11.rep",
       12},
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    FreeNameMemo memo;
    for (const std::string& path : c.taken) fs.files[path] = "x";
    EXPECT_EQ(findFreeName(fs, "X/abc.rep", kPosix, &memo), c.result);
    EXPECT_EQ(fs.existenceTests, c.tests);
  }
}

TEST(FindFreeName, ManyFilesOfOneNameCostLinearTests) {
  MemoryFileSystem fs;
  FreeNameMemo memo;
  fs.files["d/same.rep"] = "x";
  const int kFiles = 2000;
  for (int i = 0; i < kFiles; ++i) {
    fs.files["s/" + std::to_string(i)] = "x";
    std::string target = findFreeName(fs, "d/same.rep", kPosix, &memo);
    ASSERT_EQ(target, "d/same" + std::to_string(i) + ".rep");
    ASSERT_TRUE(fs.move("s/" + std::to_string(i), target).ok());
    noteMoved(fs, &memo, "s/" + std::to_string(i), target, kPosix);
  }
  EXPECT_EQ(fs.existenceTests, kFiles);
}

TEST(FindFreeName, MovingANumberedFileAwaySearchesAgainFromItsNumber) {
  struct Case {
    const char* movedAway;
    PathStyle style;
    const char* firstTried;
  } cases[] = {
      {"d/abc1.rep", kPosix, "d/abc1.rep"},
      {"./d//abc1.rep", kPosix, "d/abc1.rep"},        // the same file, spelled otherwise
      {"/elsewhere/ABC1.REP", kPosix, "d/abc1.rep"},  // maybe the same: search again from 1
      {"d/abc01.rep", kPosix, "d/abc3.rep"},          // no search writes a leading zero
      {"d/abd1.rep", kPosix, "d/abc3.rep"},
      {"d/abc.rep", kPosix, "d/abc3.rep"},
      {"d/abc1.rep.bak", kPosix, "d/abc3.rep"},
      {"C:\\d\\abc0.rep", kWindows, "d/abc0.rep"},
      {"C:abc2.rep", kWindows, "d/abc2.rep"},  // drive-relative
      {"C:/d/abc2.rep", kWindows, "d/abc2.rep"},
      {"d\\abc1.rep", kPosix, "d/abc3.rep"},  // a backslash is part of a POSIX name
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    FreeNameMemo memo;
    for (const char* name : {"d/abc.rep", "d/abc0.rep", "d/abc1.rep", "d/abc2.rep"}) {
      fs.files[name] = "x";
    }
    ASSERT_EQ(findFreeName(fs, "d/abc.rep", kPosix, &memo), "d/abc3.rep");
    noteMoved(fs, &memo, c.movedAway, "e/elsewhere.rep", c.style);
    const std::size_t before = fs.log.size();
    EXPECT_EQ(findFreeName(fs, "d/abc.rep", kPosix, &memo), "d/abc3.rep");
    EXPECT_EQ(fs.log.at(before), std::string("open ") + c.firstTried) << c.movedAway;
  }
}

TEST(FindFreeName, MovingIntoTheNextNumberExtendsTheRun) {
  MemoryFileSystem fs;
  FreeNameMemo memo;
  fs.files["d/abc.rep"] = "x";
  EXPECT_EQ(findFreeName(fs, "d/abc.rep", kPosix, &memo), "d/abc0.rep");
  // Not moved: the name stays free and is found again without a test of its own.
  EXPECT_EQ(findFreeName(fs, "d/abc.rep", kPosix, &memo), "d/abc0.rep");
  fs.files["d/abc0.rep"] = "x";
  noteMoved(fs, &memo, "s/x.rep", "d/abc0.rep", kPosix);
  const std::size_t before = fs.log.size();
  EXPECT_EQ(findFreeName(fs, "d/abc.rep", kPosix, &memo), "d/abc1.rep");
  EXPECT_EQ(fs.log.size(), before + 1);
}

// On Windows a name is taken in any letter case and spelled with either separator, and a
// replay composing to its own name in another case collides with itself.
TEST(PlaceAtFreeName, WindowsNamesIgnoreCaseAndTakeEitherSeparator) {
  struct Case {
    std::vector<std::string> files;
    const char* source;
    const char* target;
    const char* placed;
    bool collided;
  } cases[] = {
      {{"D:\\i\\ABC.rep"}, "D:\\i\\ABC.rep", "D:\\i\\abc.rep", "D:\\i\\abc0.rep", true},
      {{"D:\\i\\x.rep", "d:/O/Abc.REP"}, "D:\\i\\x.rep", "D:\\o\\abc.rep", "D:\\o\\abc0.rep", true},
      {{"D:\\i\\x.rep", "D:\\o\\ab0.rep"}, "D:\\i\\x.rep", "D:\\o\\ab.rep", "D:\\o\\ab.rep", false},
      {{"D:\\i\\x.rep"}, "d:/i/X.REP", "D:\\i\\x.rep", "D:\\i\\x0.rep", true},
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs(kWindows);
    FreeNameMemo memo;
    for (const std::string& path : c.files) fs.files[path] = "file " + path;
    const Placement placed = rename(fs, c.source, c.target, kWindows, &memo);
    EXPECT_EQ(placed.target, c.placed) << c.source;
    EXPECT_EQ(placed.collided, c.collided) << c.source;
    EXPECT_TRUE(placed.moved.ok()) << c.source;
    EXPECT_EQ(fs.files.at(c.placed), "file " + c.files[0]) << c.source;
    EXPECT_EQ(fs.files.size(), c.files.size()) << c.source;
  }
}

// A random run: files composing to a few colliding names, some already in the folder, some
// moved within it, some moves failing, a folder in the way; on Windows every other run, where
// a name is the same in any letter case. Moving first with the memo must give the names,
// warnings and errors of testing first with a plain search.
TEST(FindFreeName, SameNamesAsThePlainSearchInRandomRuns) {
  const std::vector<std::string> stems = {"d/a", "d/a1", "d/a0", "d/Ab", "d/b"};
  int64_t plainTests = 0;
  int64_t memoTests = 0;
  for (unsigned trial = 1; trial <= 400; ++trial) {
    std::mt19937 random(trial);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const PathStyle style = trial % 2 == 0 ? kWindows : kPosix;
    MemoryFileSystem plain(style);
    for (const std::string& stem : stems) {
      if (pick(2)) plain.files[stem + ".rep"] = "old";
      for (int k = 0; k < 8; ++k) {
        if (pick(3) == 0) plain.files[stem + std::to_string(k) + ".rep"] = "old " + stem;
      }
    }
    // Sources: new files from elsewhere, or files already in the folder, in any spelling.
    std::vector<std::pair<std::string, std::string>> jobs;  // source, stem of its new name
    const std::size_t count = 1 + pick(14);
    for (std::size_t i = 0; i < count; ++i) {
      std::string source = "s/r" + std::to_string(i) + ".rep";
      if (pick(2) && !plain.files.empty()) {
        auto it = plain.files.begin();
        std::advance(it, static_cast<long>(pick(plain.files.size())));
        if (it->first.rfind("d/", 0) == 0) {
          source = (pick(2) ? "./d//" : "d/") + it->first.substr(2);
          if (style == kWindows && pick(2)) source = "D\\" + it->first.substr(2);
          if (style == kWindows && pick(2)) source = asciiUpper(source);
        }
      }
      plain.files.emplace(source, "new " + std::to_string(i));
      jobs.emplace_back(source, stems[pick(stems.size())]);
    }
    if (pick(3) == 0)
      plain.failingTargets[stems[pick(stems.size())] + std::to_string(pick(4)) + ".rep"] =
          MoveError::kDiskFull;
    if (pick(4) == 0) plain.otherEntries.insert(stems[pick(stems.size())] + ".rep");
    MemoryFileSystem memoized = plain;
    FreeNameMemo memo;

    for (const auto& [source, stem] : jobs) {
      // As the renamer is specified: test the name, number it when taken, then move.
      std::string plainTarget = stem + ".rep";
      const bool plainCollided = plain.isTaken(plainTarget);
      if (plainCollided) plainTarget = plainFreeName(plain, plainTarget);
      const MoveResult plainMoved = plain.move(source, plainTarget);
      // As it runs: move first, remembering taken names.
      Placement placed = rename(memoized, source, stem + ".rep", style, &memo);
      ASSERT_EQ(placed.target, plainTarget) << "trial " << trial << ", moving " << source;
      ASSERT_EQ(placed.collided, plainCollided) << "trial " << trial;
      ASSERT_EQ(placed.moved.error, plainMoved.error) << "trial " << trial;
    }
    ASSERT_EQ(memoized.files, plain.files) << "trial " << trial;
    plainTests += plain.existenceTests;
    memoTests += memoized.existenceTests;
  }
  EXPECT_LE(memoTests, plainTests);
}

}  // namespace
