#include "driver/renamer.h"

#include <gtest/gtest.h>

#include <random>

#include "expected_texts.h"
#include "inline_workers.h"
#include "memory_file_system.h"
#include "replay_writer.h"
#include "script_console.h"

namespace {

using namespace expected;

class RenamerTest : public ::testing::Test {
 protected:
  void addReplay(const std::string& path, const char* name) {
    ReplayFields f;
    f.nameCodes = nameCodesFor(name);
    fs.files[path] = replayBytes(f);
  }
  int run(std::vector<std::string> args, std::deque<std::string> answers) {
    console.answers = std::move(answers);
    InlineWorkers workers;
    return runRenamer(args, console, fs, stops, workers, PathStyle::kPosix, "", limits);
  }
  GroupLimits limits;
  MemoryFileSystem fs;
  ScriptConsole console;
  ScriptStops stops;
};

TEST_F(RenamerTest, RenamesReportsAndSummarises) {
  addReplay("in/a.rep", "abc");
  addReplay("in/b.rep", "abc");
  addReplay("in/c.rep", "zzz");
  fs.failingTargets["in/zzz.rep"] = MoveError::kAccessDenied;
  EXPECT_EQ(run({"in/a.rep", "in/b.rep", "in/c.rep"}, {"", ""}), 0);
  EXPECT_EQ(console.both, dialogue("in/") + renamed("in/a.rep", "in/abc.rep") +
                              numbered("in/b.rep", "in/abc0.rep") +
                              failed("in/c.rep", "in/zzz.rep", shownError("Permission denied")) +
                              summary(3, 1, 1));
  EXPECT_EQ(console.err, moveError("Permission denied"));
  EXPECT_EQ(console.keyWaits, 1);
  EXPECT_EQ(fs.files.count("in/abc.rep"), 1u);
  EXPECT_EQ(fs.files.count("in/abc0.rep"), 1u);
  EXPECT_EQ(fs.files.count("in/c.rep"), 1u);
}

// Every header is read before the first move; then a replay whose name is free costs one check
// that its path still names the file read and one move, and the existence test comes only
// after a move that failed.
TEST_F(RenamerTest, EachFileCostsOneReadOneCheckAndOneMove) {
  addReplay("in/a.rep", "A");
  addReplay("in/b.rep", "B");
  fs.files["out/B.rep"] = "old";
  EXPECT_EQ(run({"in/a.rep", "in/b.rep"}, {"out", "/n"}), 0);
  EXPECT_EQ(fs.log, (std::vector<std::string>{
                        "read in/a.rep 67", "read in/b.rep 67", "check in/a.rep",
                        "move in/a.rep out/A.rep", "check in/b.rep", "move in/b.rep out/B.rep",
                        "open out/B.rep", "open out/B0.rep", "move in/b.rep out/B0.rep"}));
}

TEST_F(RenamerTest, FoldersStandForTheReplaysDirectlyInThem) {
  fs.folders = {"in", "none"};
  addReplay("in/b.REP", "bee");
  addReplay("in/a.rep", "ay");
  addReplay("in/sub/c.rep", "sea");  // in a subfolder: not a replay of "in"
  fs.files["in/notes.txt"] = "not a replay";
  addReplay("x/x.rep", "ex");
  // The folder again: its replays were read before anything moved, and are gone at their turn.
  EXPECT_EQ(run({"in", "x/x.rep", "none", "./in/"}, {"", "/n"}), 0);
  const std::string gone = shownError("No such file or directory");
  EXPECT_EQ(console.both, dialogue("in/") + renamed("in/a.rep", "in/ay.rep") +
                              renamed("in/b.REP", "in/bee.rep") + renamed("x/x.rep", "in/ex.rep") +
                              failed("./in/a.rep", "in/ay0.rep", gone) +
                              failed("./in/b.REP", "in/bee0.rep", gone) + summary(5, 2, 2));
  EXPECT_EQ(fs.files.count("in/sub/c.rep"), 1u);
  EXPECT_EQ(fs.files.count("in/notes.txt"), 1u);
}

TEST_F(RenamerTest, FoldersWithoutReplaysAddNothing) {
  fs.folders = {"none", "in"};
  fs.unlistableFolders = {"locked"};
  addReplay("in/a.rep", "ay");
  EXPECT_EQ(run({"none"}, {}), 0);
  EXPECT_EQ(console.out, kNoReplays);
  console = ScriptConsole();
  // A folder that cannot be listed stays an argument, and does not open in its turn.
  EXPECT_EQ(run({"none", "in", "locked"}, {"", ""}), 1);
  EXPECT_NE(console.out.find(renamed("in/a.rep", "in/ay.rep") + stopped("locked", kOpenError)),
            std::string::npos)
      << console.out;
}

// A stop asked for while files move ends the run after the file in hand has its outcome line.
TEST_F(RenamerTest, StopAskedForAfterTheFileInHand) {
  addReplay("in/a.rep", "one");
  addReplay("in/b.rep", "two");
  stops.stopAtCheck = 1;
  EXPECT_EQ(run({"in/a.rep", "in/b.rep"}, {"", ""}), 143);
  EXPECT_TRUE(stops.endedAsRequested);
  EXPECT_GE(console.flushes, 1) << "every outcome line written before the end";
  const std::string ending = renamed("in/a.rep", "in/one.rep");
  EXPECT_EQ(console.out.substr(console.out.size() - ending.size()), ending);
  EXPECT_EQ(console.keyWaits, 0);
  EXPECT_EQ(fs.files.count("in/b.rep"), 1u);
}

// A folder dragged into a Linux terminal comes quoted, with a blank behind it.
TEST_F(RenamerTest, DestinationAsATerminalSpellsIt) {
  addReplay("in/a.rep", "one");
  fs.folders = {"my out"};
  EXPECT_EQ(run({"in/a.rep"}, {"'my out' ", ""}), 0);
  EXPECT_EQ(console.out,
            dialogue("my out/") + renamed("in/a.rep", "my out/one.rep") + summary(1, 0, 0));
}

TEST_F(RenamerTest, CollisionThatFailsCountsAsWarningAndError) {
  addReplay("in/a.rep", "abc");
  fs.files["in/abc.rep"] = "old";
  fs.failingTargets["in/abc0.rep"] = MoveError::kDiskFull;
  EXPECT_EQ(run({"in/a.rep"}, {"", ""}), 0);
  EXPECT_NE(
      console.both.find(failed("in/a.rep", "in/abc0.rep", shownError("No space left on device")) +
                        summary(1, 1, 1)),
      std::string::npos)
      << console.both;
}

// A second run over files the first run numbered: the names they leave free are taken again.
TEST_F(RenamerTest, RenamingInPlaceReusesNamesItFrees) {
  addReplay("in/abc.rep", "abc");
  addReplay("in/abc0.rep", "abc");
  addReplay("in/abc1.rep", "abc");
  EXPECT_EQ(run({"in/abc.rep", "in/abc0.rep", "./in/abc1.rep"}, {"", ""}), 0);
  EXPECT_EQ(console.out, dialogue("in/") + numbered("in/abc.rep", "in/abc2.rep") +
                             renamed("in/abc0.rep", "in/abc.rep") +
                             numbered("./in/abc1.rep", "in/abc0.rep") + summary(3, 0, 2));
}

TEST_F(RenamerTest, FatalStopsEndTheRunWithoutSummary) {
  struct Case {
    std::string bytes;  // empty: the file is missing
    std::string message;
  } cases[] = {
      {"", kOpenError},
      {std::string(67, '\x65'), kAbnormal},
      {std::string(10, '\x01'), kAbnormal},
  };
  for (const Case& c : cases) {
    fs = MemoryFileSystem();
    console = ScriptConsole();
    addReplay("in/1.rep", "one");
    addReplay("in/2.rep", "two");
    if (!c.bytes.empty()) fs.files["in/3.rep"] = c.bytes;
    EXPECT_EQ(run({"in/1.rep", "in/2.rep", "in/3.rep", "in/4.rep"}, {"", ""}), 1);
    EXPECT_NE(console.out.find(renamed("in/2.rep", "in/two.rep") + stopped("in/3.rep", c.message)),
              std::string::npos)
        << console.out;
    EXPECT_EQ(console.out.find("File(s)"), std::string::npos);
    EXPECT_EQ(console.keyWaits, 1);
    EXPECT_EQ(fs.files.count("in/two.rep"), 1u) << "earlier moves stay";
    EXPECT_EQ(fs.log.back(), "move in/2.rep in/two.rep");
    EXPECT_FALSE(stops.holding) << "the key wait ends at Ctrl+C again";
  }
}

TEST_F(RenamerTest, CancelAndEndOfInputStopWithoutMessage) {
  struct Case {
    std::string firstPath;
    std::deque<std::string> answers;
  } cases[] = {
      {"a.rep", {""}}, {"a.rep", {}}, {"in/a.rep", {}}, {"in/a.rep", {""}}, {"in/a.rep", {"", "?"}},
  };
  for (const Case& c : cases) {
    fs = MemoryFileSystem();
    console = ScriptConsole();
    addReplay(c.firstPath, "x");
    EXPECT_EQ(run({c.firstPath}, c.answers), 1);
    const std::string ending = "===>" + kPause;
    ASSERT_GE(console.out.size(), ending.size());
    EXPECT_EQ(console.out.substr(console.out.size() - ending.size()), ending);
    EXPECT_EQ(console.keyWaits, 1);
    EXPECT_EQ(fs.log, std::vector<std::string>{"read " + c.firstPath + " 67"}) << "nothing moved";
  }
}

// All a run leaves: its status and key waits, what it showed, the files, and the main thread's
// calls (checks, existence tests and moves) in order.
std::string runWith(Workers& workers, MemoryFileSystem fs, const std::vector<std::string>& args,
                    const std::deque<std::string>& answers, int stopAt,
                    std::chrono::microseconds pause, bool withCalls = true,
                    const GroupLimits& limits = {}) {
  ScriptConsole console;  // answers that take their time let the reads overlap the prompts
  console.answers = answers;
  console.answerDelay = pause;
  ScriptStops stops;
  stops.stopAtCheck = stopAt;
  const int status = runRenamer(args, console, fs, stops, workers, PathStyle::kPosix, "", limits);
  std::string record = std::to_string(status) + " " + std::to_string(console.keyWaits) + "\n";
  record += console.both;
  for (const auto& [path, bytes] : fs.files) {
    record += "\nfile " + path + " " + std::to_string(std::hash<std::string>()(bytes));
  }
  for (const std::string& entry : fs.log) {
    if (withCalls && entry.rfind("read", 0) != 0 && entry.rfind("list", 0) != 0)
      record += "\n" + entry;
  }
  return record;
}

// Random runs over a folder of replays that collide, some damaged, given with one of its own
// files, twice, beside a missing one; ended by the input at either prompt, or by a stop at the
// k-th replay. Read ahead on threads, under slow and quick answers, each run must be the one
// reading every header in turn before the first prompt gives, in every byte shown and every
// file moved.
TEST(RenamerReadsAhead, SameRunAsReadingFirstInRandomRuns) {
  InlineWorkers inTurn;
  const std::vector<std::string> names = {"A", "B", "AB", "A0"};
  const std::vector<std::string> pool = {"in",        "./in/",     "x/x0.rep",    "x/x1.rep",
                                         "in/r0.rep", "in/r3.rep", "missing.rep", "empty"};
  const std::vector<std::string> formats = {"/n", "same", "/n/0"};
  for (unsigned trial = 1; trial <= 300; ++trial) {
    std::mt19937 random(trial);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    MemoryFileSystem fs;
    fs.folders = {"in", "empty"};
    auto someReplay = [&] {
      if (pick(12) == 0) return std::string(67, '\x65');  // a name code out of range
      ReplayFields f;
      f.nameCodes = nameCodesFor(names[pick(names.size())]);
      f.p1Character = static_cast<int>(pick(3));
      return replayBytes(f);
    };
    const std::size_t inFolder = pick(40);
    for (std::size_t i = 0; i < inFolder; ++i)
      fs.files["in/r" + std::to_string(i) + ".rep"] = someReplay();
    for (int i = 0; i < 2; ++i) fs.files["x/x" + std::to_string(i) + ".rep"] = someReplay();
    std::vector<std::string> args(1 + pick(6));
    for (std::string& arg : args) arg = pool[pick(pool.size())];
    std::deque<std::string> answers;
    const std::size_t ending = pick(8);
    if (ending >= 1) answers.push_back(pick(2) ? "" : "out");
    if (ending >= 2) answers.push_back(formats[pick(formats.size())]);
    const int stopAt = pick(3) == 0 ? static_cast<int>(1 + pick(10)) : 0;

    const std::string known = runWith(inTurn, fs, args, answers, stopAt, {});
    ThreadWorkers threads(4);  // a run's own, as a process has them
    ASSERT_EQ(runWith(threads, fs, args, answers, stopAt, std::chrono::microseconds(pick(2) * 300)),
              known)
        << "trial " << trial;
  }
}

// A damaged replay deep in a large folder read on threads: the replays before it move, in order,
// then the run stops there, every time.
TEST(RenamerReadsAhead, DamagedReplayInALargeFolderStopsAtItsTurn) {
  for (int round = 0; round < 20; ++round) {
    ThreadWorkers threads(8);
    MemoryFileSystem fs;
    fs.folders = {"in"};
    const int damaged = 100 + round * 37;
    for (int i = 0; i < 1000; ++i) {
      ReplayFields f;
      f.nameCodes = nameCodesFor("n" + std::to_string(1000 + i));
      fs.files["in/r" + std::to_string(1000 + i) + ".rep"] =
          i == damaged ? std::string(10, '\x01') : replayBytes(f);
    }
    ScriptConsole console;
    console.answers = {"", "/n"};
    ScriptStops stops;
    ASSERT_EQ(runRenamer({"in"}, console, fs, stops, threads, PathStyle::kPosix), 1);
    for (int i = 0; i < 1000; ++i) {
      const std::string moved = "in/n" + std::to_string(1000 + i) + ".rep";
      ASSERT_EQ(fs.files.count(moved), i < damaged ? 1u : 0u) << moved;
    }
    ASSERT_NE(
        console.out.find(stopped("in/r" + std::to_string(1000 + damaged) + ".rep", kAbnormal)),
        std::string::npos);
  }
}

// Random runs into a folder on another file system, where moves are copies made durable in
// groups of random size: every byte shown, the status and the files are those of the same run
// moving one replay after another on one file system, collisions, failures and stops included.
TEST(RenamerCopies, SameRunAsMovingOneByOne) {
  InlineWorkers inTurn;
  const std::vector<std::string> names = {"A", "B", "A0"};
  for (unsigned trial = 1; trial <= 300; ++trial) {
    std::mt19937 random(trial);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    MemoryFileSystem plain;
    for (std::size_t i = 0; i < pick(30); ++i) {
      ReplayFields f;
      f.nameCodes = nameCodesFor(names[pick(names.size())]);
      plain.files["in/r" + std::to_string(10 + i) + ".rep"] =
          pick(15) == 0 ? std::string(67, '\x65') : replayBytes(f);
    }
    for (const char* taken : {"out/A.rep", "out/A1.rep", "out/B0.rep"}) {
      if (pick(2)) plain.files[taken] = "old";
    }
    if (pick(3) == 0)
      plain.failingTargets["out/A" + std::to_string(pick(3)) + ".rep"] = MoveError::kDiskFull;
    std::vector<std::string> args = {"in/r10.rep"};
    for (const auto& [path, bytes] : plain.files) {
      if (path.rfind("in/", 0) == 0 && pick(4) != 0) args.push_back(path);
      if (pick(8) == 0) args.push_back(args[pick(args.size())]);  // a replay given twice
    }
    const std::deque<std::string> answers = {pick(4) == 0 ? "" : "out", pick(2) ? "/n" : "/n/0"};
    const int stopAt = pick(3) == 0 ? static_cast<int>(1 + pick(12)) : 0;
    MemoryFileSystem copying = plain;
    copying.otherVolume = {"out"};
    copying.holdsLikeWindows = pick(2);
    GroupLimits limits;
    limits.files = 1 + pick(5);
    if (pick(4) == 0) limits.time = {};  // each group full as soon as it has begun
    ASSERT_EQ(runWith(inTurn, copying, args, answers, stopAt, {}, false, limits),
              runWith(inTurn, plain, args, answers, stopAt, {}, false))
        << "trial " << trial;
  }
}

// A group settles at the first of its limits: 64 replays, 64 MiB copied, or its time. The outcome
// lines are written out every 64 replays. A numbered copy undone gives its number back.
TEST(RenamerGroups, SettleAtTheirLimits) {
  InlineWorkers inTurn;
  const struct {
    std::size_t replays;
    uint64_t sizeEach;  // as the copies tell it
    GroupLimits limits;
    std::size_t groups;
  } rows[] = {
      {64, 67, {}, 1},
      {65, 67, {}, 2},
      {2, 32 << 20, {}, 1},
      {3, 32 << 20, {}, 2},
      {3, 33 << 20, {}, 2},
      {3, 67, {3, 1 << 30, std::chrono::hours(1)}, 1},
      {3, 67, {2, 1 << 30, std::chrono::hours(1)}, 2},
      {3, 67, {64, 134, std::chrono::hours(1)}, 2},
      {4, 67, {64, 68, std::chrono::hours(1)}, 2},  // each group counts its own bytes
      {3, 67, {64, 1 << 30, {}}, 3},
  };
  for (const auto& row : rows) {
    MemoryFileSystem fs;
    fs.otherVolume = {"out"};
    std::vector<std::string> args;
    for (std::size_t i = 0; i < row.replays; ++i) {
      ReplayFields f;
      f.nameCodes = nameCodesFor("n" + std::to_string(i));
      args.push_back("in/r" + std::to_string(i) + ".rep");
      fs.files[args.back()] = replayBytes(f);
      fs.copySizes[args.back()] = row.sizeEach;
    }
    ScriptConsole console;
    console.answers = {"out", ""};
    ScriptStops stops;
    runRenamer(args, console, fs, stops, inTurn, PathStyle::kPosix, "", row.limits);
    EXPECT_EQ(std::count(fs.log.begin(), fs.log.end(), "flush"), row.groups)
        << row.replays << " of " << row.sizeEach;
    EXPECT_EQ(countOf(console.out, "Rename successful!"), static_cast<int>(row.replays));
  }
  // Renames: written out after the 64th and the 128th, and at the end.
  MemoryFileSystem fs;
  std::vector<std::string> args;
  for (int i = 0; i < 130; ++i) {
    ReplayFields f;
    f.nameCodes = nameCodesFor("n" + std::to_string(i));
    args.push_back("in/r" + std::to_string(i) + ".rep");
    fs.files[args.back()] = replayBytes(f);
  }
  ScriptConsole console;
  console.answers = {"", ""};
  ScriptStops stops;
  runRenamer(args, console, fs, stops, inTurn, PathStyle::kPosix);
  EXPECT_EQ(console.flushes, 3);
}

// Where a taken name is refused before another drive is told, the move is still a copy.
TEST_F(RenamerTest, ATakenNameOnAnotherDriveIsNumberedAsACopy) {
  fs.otherVolume = {"out"};
  fs.holdsLikeWindows = true;
  fs.files["out/A.rep"] = "taken";
  addReplay("in/a.rep", "A");
  EXPECT_EQ(run({"in/a.rep"}, {"out", ""}), 0);
  EXPECT_EQ(console.both, dialogue("out/") + numbered("in/a.rep", "out/A0.rep") + summary(1, 0, 1));
  EXPECT_EQ(fs.files.count("out/A0.rep") + fs.files.count("in/a.rep"), 1u);
}

TEST_F(RenamerTest, AnUndoneNumberedCopyGivesItsNumberBack) {
  fs.otherVolume = {"out"};
  fs.failNamesFlush = 1;
  limits.files = 1;
  fs.files["out/A.rep"] = "taken";
  addReplay("in/a.rep", "A");
  addReplay("in/b.rep", "A");
  EXPECT_EQ(run({"in/a.rep", "in/b.rep"}, {"out", ""}), 0);
  EXPECT_EQ(console.both, dialogue("out/") +
                              failed("in/a.rep", "out/A0.rep", shownError("Input/output error")) +
                              numbered("in/b.rep", "out/A0.rep") + summary(2, 1, 2));
}

// A copy that is not what was read is no move; a write of the outcome lines that fails ends the
// run once the group in hand is settled: nothing after it moves, and the status is 1.
TEST_F(RenamerTest, FailedCopiesAndFailedWrites) {
  fs.otherVolume = {"out"};
  limits.files = 2;
  for (const char* name : {"a", "b", "c", "d", "e"})
    addReplay("in/" + std::string(name) + ".rep", name);
  fs.failingCopies["in/b.rep"] = MoveError::kDiskFull;
  console.failAtFlush = 1;  // the first group's
  EXPECT_EQ(run({"in/a.rep", "in/b.rep", "in/c.rep", "in/d.rep", "in/e.rep"}, {"out", ""}), 1);
  EXPECT_EQ(console.out,
            dialogue("out/") + renamed("in/a.rep", "out/a.rep") + failed("in/b.rep", "out/b.rep"));
  EXPECT_EQ(console.err, moveError("No space left on device") +
                             "reprename: write error: No space left on device\n");
  EXPECT_EQ(console.keyWaits, 0);
  EXPECT_EQ(fs.files.count("out/a.rep") + fs.files.count("in/b.rep") + fs.files.count("in/c.rep"),
            3u);
  EXPECT_EQ(fs.files.count("out/c.rep"), 0u) << "nothing moves after the failed write";
}

// A group stopped halfway: the copy in hand when the stop came is given up, the copies before it
// finish, and nothing after it is touched. A replay written to while its group is flushed stays
// where it was, with what was written.
TEST_F(RenamerTest, CopiesStoppedHalfwayOrChangedMeanwhile) {
  fs.otherVolume = {"out"};
  fs.copiesHonourStops = true;
  for (const char* name : {"a", "b", "c", "d"}) addReplay("in/" + std::string(name) + ".rep", name);
  fs.changedAtFlush["in/b.rep"] = fs.files["in/b.rep"] + "more";
  stops.stopAtCheck = 5;  // a's copy and check, b's copy and check, then c's copy
  EXPECT_EQ(run({"in/a.rep", "in/b.rep", "in/c.rep", "in/d.rep"}, {"out", ""}), 143);
  EXPECT_EQ(console.both,
            dialogue("out/") + renamed("in/a.rep", "out/a.rep") +
                failed("in/b.rep", "out/b.rep", shownError("Device or resource busy")) +
                failed("in/c.rep", "out/c.rep", shownError("Interrupted system call")));
  EXPECT_EQ(fs.files.count("out/a.rep") + fs.files.count("in/b.rep") + fs.files.count("in/c.rep") +
                fs.files.count("in/d.rep"),
            4u);
  EXPECT_EQ(fs.files.at("in/b.rep"), fs.changedAtFlush.at("in/b.rep"));
  EXPECT_EQ(fs.files.size(), 4u) << "no copy left of b or c";
}

// A closed window leaves the process seconds: the copies in hand are given up, not named.
TEST_F(RenamerTest, AClosedWindowGivesUpTheCopiesInHand) {
  fs.otherVolume = {"out"};
  addReplay("in/a.rep", "a");
  addReplay("in/b.rep", "b");
  fs.failingCopies["in/a.rep"] = MoveError::kDiskFull;
  stops.stopAtCheck = 2;
  stops.closingWindow = true;
  EXPECT_EQ(run({"in/a.rep", "in/b.rep"}, {"out", ""}), 143);
  EXPECT_EQ(console.both,
            dialogue("out/") +
                failed("in/a.rep", "out/a.rep", shownError("No space left on device")) +
                failed("in/b.rep", "out/b.rep", shownError("Interrupted system call")));
  EXPECT_EQ(fs.files.size(), 2u) << "both where they were, no copy";
}

}  // namespace
