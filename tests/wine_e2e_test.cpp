// Runs reprename.exe under Wine as a Japanese Windows would (ANSI code page 932), and as an
// English (1252) and a Chinese (936) one: the exact Shift-JIS bytes with CR LF on both streams,
// the exit status, and the files on disk, where Wine stores the names as UTF-8.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "wine_fixture.h"

namespace {

using namespace wine;

TEST_F(UnderWine, WithoutFilesSaysHowToUse) {
  ProcessResult r = run({}, "");
  EXPECT_EQ(r.out, windowsText(kNoReplays));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
}

// A folder whose name holds 表 and ソ, whose second bytes in Shift-JIS are backslashes.
TEST_F(UnderWine, HelpAllTokensAndCollisionsInAJapaneseFolder) {
  ReplayFields f = julyFourthMatch();
  std::string a = replay("表ソ/a.rep", "Go!", f);
  std::string b = replay("表ソ/b b.rep", "Go!", f);  // a blank: the argument comes quoted
  replay("表ソ/dup.rep", "x");
  const std::string format = kAllTokensFormat;
  ProcessResult r = run({a, b}, "\r\n?\r\n" + format + "\r\n");
  const std::string folder = windowsPath(dir) + "\\表ソ\\";
  const std::string first = kJulyFourthName;
  const std::string second = "001" + kJulyFourthName.substr(3);
  EXPECT_EQ(r.out, windowsText(dialogue(folder) + kHelpScreen + "===>" +
                               renamed(a, folder + first + ".rep") +
                               renamed(b, folder + second + ".rep") + summary(2, 0, 0)));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"表ソ/" + first + ".rep", "表ソ/" + second + ".rep", "表ソ/dup.rep"}));

  // Now the same name twice, and a name that is taken.
  std::string c1 = replay("表ソ/c.rep", "dup");
  std::string c2 = replay("表ソ/d.rep", "dup");
  r = run({c1, c2}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(dialogue(folder) + numbered(c1, folder + "dup0.rep") +
                               numbered(c2, folder + "dup1.rep") + summary(2, 0, 2)));
  EXPECT_EQ(files(), (Names{"表ソ/" + first + ".rep", "表ソ/" + second + ".rep", "表ソ/dup.rep",
                            "表ソ/dup0.rep", "表ソ/dup1.rep"}));
}

TEST_F(UnderWine, FailedMoveGoesToTheErrorStream) {
  std::string a = replay("a.rep", "one");
  const std::string nowhere = windowsPath(dir) + "\\nowhere\\";
  ProcessResult r = run({a}, windowsPath(dir) + "\\nowhere\r\n\r\n");
  EXPECT_EQ(r.out,
            windowsText(dialogue(nowhere) + failed(a, nowhere + "one.rep") + summary(1, 1, 0)));
  EXPECT_EQ(r.err, windowsText(moveError("No such file or directory")));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), Names{"a.rep"});
}

TEST_F(UnderWine, FatalStops) {
  std::string good = replay("good.rep", "good");
  std::string bad = replay("bad.rep", "bad");
  fs::resize_file(fs::path(dir) / "bad.rep", 66);
  ProcessResult r = run({good, bad}, "\r\n\r\n");
  const std::string folder = windowsPath(dir) + "\\";
  EXPECT_EQ(r.out, windowsText(dialogue(folder) + numbered(good, folder + "good0.rep") +
                               stopped(bad, kAbnormal)));
  EXPECT_EQ(r.exitStatus, 1);

  const std::string missing = windowsPath(dir) + "\\missing.rep";
  r = run({missing}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(dialogue(folder) + stopped(missing, kOpenError)));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(files(), (Names{"bad.rep", "good0.rep"}));
}

TEST_F(UnderWine, WildcardsAreNotExpanded) {
  replay("a.rep", "abc");
  const std::string pattern = windowsPath(dir) + "\\*.rep";
  ProcessResult r = run({pattern}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(dialogue(windowsPath(dir) + "\\") + stopped(pattern, kOpenError)));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(files(), Names{"a.rep"});
}

TEST_F(UnderWine, NoBackslashOffersCancel) {
  replay("a.rep", "abc");
  std::string forward = windowsPath(dir) + "\\a.rep";
  std::replace(forward.begin(), forward.end(), '\\', '/');
  // There are no options on Windows: "--help" is a replay without a folder too.
  for (const std::string& path : {std::string("a.rep"), forward, std::string("--help")}) {
    ProcessResult r = run({path}, "\r\n", dir);
    EXPECT_EQ(r.out, windowsText(kCancelPrompt + kPause)) << path;
    EXPECT_EQ(r.exitStatus, 1);
  }
  EXPECT_EQ(files(), Names{"a.rep"});
}

// Folders of names no single ANSI code page holds, some of whose characters have a
// backslash for their second byte in Shift-JIS (表, ソ) or a backslash for their best fit (¥).
TEST_F(UnderWine, EverySetupRenamesInFoldersOfAnyName) {
  const std::string folder = "Café 한국 😀 ¥ 表ソ";
  const std::string second = "001" + kJulyFourthName.substr(3);
  for (const std::string& locale : kSetups) {
    const std::string where = locale + "/" + folder + "/";
    std::string a = replay(where + "a.rep", "Go!", julyFourthMatch());
    std::string b = replay(where + "b b.rep", "Go!", julyFourthMatch());
    ProcessResult r = run({a, b}, "\r\n" + kAllTokensFormat + "\r\n", "", locale);
    const std::string shown = windowsPath(dir + "/" + where);
    EXPECT_EQ(r.out, windowsText(dialogue(shown) + renamed(a, shown + kJulyFourthName + ".rep") +
                                 renamed(b, shown + second + ".rep") + summary(2, 0, 0)))
        << locale;
    EXPECT_NE(r.out.find("Caf? ?? ? ? \x95\x5c\x83\x5c\\a.rep"), std::string::npos) << locale;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
  }
  Names expected;
  for (const std::string& locale : kSetups) {
    expected.push_back(locale + "/" + folder + "/" + kJulyFourthName + ".rep");
    expected.push_back(locale + "/" + folder + "/" + second + ".rep");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files(), expected);
}

// A destination past MAX_PATH, and one pasted in quotes as Explorer's "Copy as path" gives it.
TEST_F(UnderWine, LongAndQuotedDestinations) {
  std::string deep = dir + "/long";
  for (char c : {'a', 'b', 'c'}) deep += "/" + std::string(100, c);
  fs::create_directories(deep);
  fs::create_directories(dir + "/My Replays 表");
  std::string a = replay("a.rep", "one");
  std::string b = replay("b.rep", "two");
  ASSERT_GT(windowsPath(deep).size(), 300u);
  ProcessResult r = run({a}, windowsPath(deep) + "\r\n\r\n", "", "en_US.UTF-8");
  EXPECT_NE(r.out.find(windowsText(renamed(a, windowsPath(deep) + "\\one.rep"))), std::string::npos)
      << r.out << r.err;
  r = run({b}, windowsText("\"" + windowsPath(dir + "/My Replays 表") + "\"\n\n"));
  EXPECT_NE(r.out.find(windowsText(renamed(b, windowsPath(dir + "/My Replays 表") + "\\two.rep"))),
            std::string::npos)
      << r.out << r.err;
  // A destination rooted on the current drive, and one relative to a drive's current folder.
  std::string c = replay("c.rep", "three");
  std::string e = replay("e.rep", "four");
  const std::string rooted = windowsPath(dir + "/My Replays 表").substr(2);  // \tmp\...
  r = run({c}, windowsText(rooted + "\n\n"), dir);
  EXPECT_NE(r.out.find(windowsText(renamed(c, rooted + "\\three.rep"))), std::string::npos)
      << r.out << r.err;
  r = run({e}, windowsText("Z:My Replays 表\n\n"), dir);
  EXPECT_NE(r.out.find(windowsText(renamed(e, "Z:My Replays 表\\four.rep"))), std::string::npos)
      << r.out << r.err;
  EXPECT_EQ(files(),
            (Names{"My Replays 表/four.rep", "My Replays 表/three.rep", "My Replays 表/two.rep",
                   fs::relative(deep, dir).string() + "/one.rep"}));
}

// Drive T: on a small file system of its own: a move there copies, and a copy that does not fit
// leaves the source whole and nothing beside the target.
TEST_F(UnderWine, MovesToAnotherDrive) {
  const std::string mount = mountDriveT("256k");
  if (mount.empty()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here for a second drive";
  ReplayFields small, big;
  small.size = 100 * 1000;
  big.size = 200 * 1000;
  big.stage = 1;
  std::string a = replay("a.rep", "fits", small);
  std::string b = replay("b.rep", "toobig", big);
  const std::string aBytes = readFile(dir + "/a.rep");
  const std::string bBytes = readFile(dir + "/b.rep");
  ProcessResult r = run({a, b}, "T:\\\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(dialogue("T:\\") + renamed(a, "T:\\fits.rep") +
                               failed(b, "T:\\toobig.rep") + summary(2, 1, 0)));
  EXPECT_EQ(r.err, windowsText(moveError("No space left on device")));
  EXPECT_EQ(namesIn(mount), Names{"fits.rep"}) << "no partial or temporary file";
  EXPECT_TRUE(readFile(mount + "/fits.rep") == aBytes);
  EXPECT_FALSE(fs::exists(dir + "/a.rep"));
  EXPECT_TRUE(readFile(dir + "/b.rep") == bBytes);
}

// A folder dropped on the exe stands for the replays directly in it, in the order of the bytes
// of their names, whatever order the disk lists them in.
TEST_F(UnderWine, DroppedFolderStandsForItsReplays) {
  replay("drop/b.rep", "bee");
  replay("drop/A.rep", "ay");
  replay("drop/表.rep", "hyo");
  replay("drop/é.REP", "ee");
  replay("drop/sub/c.rep", "sea");
  replay("drop/x.rep/d.rep", "dee");
  std::ofstream(dir + "/drop/notes.txt") << "not a replay";
  const std::string folder = windowsPath(dir + "/drop");
  ProcessResult r = run({folder}, "\r\n/n\r\n", "", "en_US.UTF-8");
  std::string expected = dialogue(folder + "\\");
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"A.rep", "ay"}, {"b.rep", "bee"}, {"é.REP", "ee"}, {"表.rep", "hyo"}}) {
    expected += renamed(folder + "\\" + from, folder + "\\" + to + ".rep");
  }
  EXPECT_EQ(r.out, windowsText(expected + summary(4, 0, 0)));
  EXPECT_EQ(files(), (Names{"drop/ay.rep", "drop/bee.rep", "drop/ee.rep", "drop/hyo.rep",
                            "drop/notes.txt", "drop/sub/c.rep", "drop/x.rep/d.rep"}));
}

// What a replay's path names by its turn decides, as on Linux: a replay replaced while the
// prompts wait is named from its own header, even with the old one's size and time (as a copy
// onto a FAT stick keeps them), known by its file ID; one replaced by a folder stops the run.
TEST_F(UnderWine, WhatMovesIsWhatWasRead) {
  const std::string path = dir + "/a.rep";
  const std::string folder = windowsPath(dir) + "\\";
  struct Replacement {
    std::size_t size;
    int seconds;  // its time, from the old one's
  };
  for (const Replacement& with : {Replacement{67, 0}, Replacement{200, 0}, Replacement{67, 8}}) {
    std::string a = replay("a.rep", "own");
    ProcessResult r = run({a}, "\r\n\r\n", "", kJapanese, [&] {
      const fs::file_time_type time = fs::last_write_time(path);
      ReplayFields f;
      f.size = with.size;
      writeNamedReplay(path + ".new", "other", f);
      fs::last_write_time(path + ".new", time + std::chrono::seconds(with.seconds));
      fs::rename(path + ".new", path);
    });
    EXPECT_EQ(r.out,
              windowsText(dialogue(folder) + renamed(a, folder + "other.rep") + summary(1, 0, 0)))
        << with.size << " bytes, " << with.seconds << " s later";
    fs::remove(dir + "/other.rep");
  }
  std::string a = replay("a.rep", "own");
  ProcessResult r = run({a}, "\r\n\r\n", "", kJapanese, [&] {
    fs::remove(path);
    fs::create_directories(path + "/kept");
  });
  EXPECT_EQ(r.out, windowsText(dialogue(folder) + stopped(a, kOpenError)));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(fs::is_directory(path + "/kept"));
}

// Replays named like devices, as other systems make them, are files like any other in a dropped
// folder: read, checked and renamed, and the run goes on.
TEST_F(UnderWine, ReplaysNamedLikeDevicesAreRenamed) {
  const std::vector<std::pair<std::string, std::string>> named = {{"AUX.rep", "aux"},
                                                                  {"COM1.rep", "com"},
                                                                  {"CON.rep", "con"},
                                                                  {"NUL.rep", "nul"},
                                                                  {"b.rep", "any"}};
  for (const auto& [file, name] : named) replay("drop/" + file, "from" + name);
  const std::string folder = windowsPath(dir + "/drop");
  ProcessResult r = run({folder}, "\r\n\r\n");
  std::string expected = dialogue(folder + "\\");
  for (const auto& [file, name] : named) {
    expected += renamed(folder + "\\" + file, folder + "\\from" + name + ".rep");
  }
  EXPECT_EQ(r.out, windowsText(expected + summary(5, 0, 0)));
  EXPECT_EQ(files(), (Names{"drop/fromany.rep", "drop/fromaux.rep", "drop/fromcom.rep",
                            "drop/fromcon.rep", "drop/fromnul.rep"}));
}

// Folders whose names end in a dot or a blank, as other systems make them, beside the folder
// Windows would trim their names to: each drop renames what it names, and nothing of the other.
TEST_F(UnderWine, NamesEndingInADotOrABlankNameWhatTheySpell) {
  struct Drop {
    std::string arg;        // below the folder
    std::string renamedAt;  // the replay's folder
  } drops[] = {{"rr.", "rr."}, {"rr.\\a.rep", "rr."}, {"rr ", "rr "}, {"rr \\a.rep", "rr "}};
  for (const Drop& drop : drops) {
    for (const char* folder : {"rr", "rr.", "rr "}) replay(std::string(folder) + "/a.rep", "plain");
    const std::string arg = windowsPath(dir) + "\\" + drop.arg;
    ProcessResult r = run({arg}, "\r\n/n\r\n");
    const std::string at = windowsPath(dir) + "\\" + drop.renamedAt + "\\";
    EXPECT_EQ(r.out, windowsText(dialogue(at) + renamed(at + "a.rep", at + "plain.rep") +
                                 summary(1, 0, 0)))
        << drop.arg;
    Names expected = {"rr /a.rep", "rr./a.rep", "rr/a.rep"};
    for (std::string& name : expected) {
      if (name == drop.renamedAt + "/a.rep") name = drop.renamedAt + "/plain.rep";
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files(), expected) << drop.arg;
    for (const char* folder : {"rr", "rr.", "rr "}) fs::remove_all(dir + "/" + folder);
  }
}

// A run killed while it renames, its output in a file: every replay moved but at most one group
// of 64 has its line there.
TEST_F(UnderWine, AKilledRunLosesAtMostOneGroupOfLines) {
  for (int i = 0; i < 2000; ++i)
    replay("drop/r" + std::to_string(i) + ".rep", "n" + std::to_string(i));
  std::ofstream(dir + "/answers") << "\r\n\r\n";
  const int in = ::open((dir + "/answers").c_str(), O_RDONLY | O_CLOEXEC);
  const int out =
      ::open((dir + "/out.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ProcessOptions options;
  options.extraEnv = wineEnv();
  const pid_t pid =
      startProcess({"wine", REPRENAME_EXE, windowsPath(dir + "/drop")}, in, out, -1, options);
  ::close(in);
  ::close(out);
  auto movedSoFar = [&] {
    int moved = 0;
    for (const auto& entry : fs::directory_iterator(dir + "/drop")) {
      moved += entry.path().filename().string()[0] == 'n';
    }
    return moved;
  };
  for (int i = 0; i < 60000 && movedSoFar() < 300; ++i) ::usleep(500);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  const int moved = movedSoFar();
  const int lines = countOf(readFile(dir + "/out.log"), "Rename successful!");
  EXPECT_GT(moved, 0);
  EXPECT_LT(moved, 2000) << "killed before the end";
  EXPECT_LE(lines, moved);
  EXPECT_LE(moved - lines, 64) << moved << " moved, " << lines << " lines";
}

// Starts hold_files.exe on `paths` for `ms` milliseconds; returns its process once it holds them.
pid_t holdFiles(int ms, const std::vector<std::string>& paths) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return -1;
  std::vector<std::string> argv = {"wine", REPRENAME_HOLD_FILES_EXE, std::to_string(ms)};
  argv.insert(argv.end(), paths.begin(), paths.end());
  ProcessOptions options;
  options.extraEnv = wineEnv();
  const pid_t pid = startProcess(argv, -1, out[1], -1, options);
  ::close(out[1]);
  char said[8] = {};
  const bool held = ::read(out[0], said, 4) == 4 && std::string(said) == "held";
  ::close(out[0]);
  return held ? pid : -1;
}

double secondsSince(const timespec& start) {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - start.tv_sec) +
         static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

// Another program holds replays open without letting them be renamed, as antivirus and sync
// tools do for a moment. A move waits for a lock that passes; a lock that lasts costs the pause
// of about two seconds once, not once per replay.
TEST_F(UnderWine, MovesWaitForPassingLocksOnce) {
  std::string a = replay("a.rep", "brief");
  pid_t holder = holdFiles(1000, {a});
  ASSERT_GT(holder, 0);
  ProcessResult r = run({a}, "\r\n\r\n");
  EXPECT_NE(r.out.find(windowsText(renamed(a, windowsPath(dir) + "\\brief.rep"))),
            std::string::npos)
      << r.out << r.err;
  ::waitpid(holder, nullptr, 0);

  std::string b = replay("b.rep", "long1");
  std::string c = replay("c.rep", "long2");
  holder = holdFiles(5000, {b, c});
  ASSERT_GT(holder, 0);
  timespec start;
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  r = run({b, c}, "\r\n\r\n");
  const double seconds = secondsSince(start);
  EXPECT_EQ(r.err, windowsText(moveError("Permission denied") + moveError("Permission denied")));
  EXPECT_GT(seconds, 1.5) << "the first locked move waits";
  EXPECT_LT(seconds, 3.9) << "the second does not wait again";
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(files(), (Names{"b.rep", "brief.rep", "c.rep"}));
}

// To another drive as to the same one: replays of one name numbered, a replay given twice moved
// once (at once, and lock waits left on for a later replay another program holds a moment), a
// destination typed in its \\?\ form with a format that makes folders, and one typed with a
// blank behind it, which Windows' own path rules drop.
TEST_F(UnderWine, AnotherDriveNumbersAndJoinsAsOneDrive) {
  const std::string mount = mountDriveT("1m");
  if (mount.empty()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here for a second drive";
  fs::create_directories(mount + "/sub");
  fs::create_directories(mount + "/out");
  struct Row {
    std::string destination, format;
    std::vector<std::string> names;  // the replays' own names; "" gives the one before again
    std::string expected;            // the outcome lines, <n> for the n-th replay's path
    std::string errors;
    int warnings;
    Names onT;
  } rows[] = {
      {"T:\\",
       "",
       {"Kov", "Kov", "Kov"},
       "<0>\n    ===>T:\\Kov.rep -- Rename successful!\n"
       "<1>\n    ===>T:\\Kov0.rep -- Rename successful!(Warning: file already exists)\n"
       "<2>\n    ===>T:\\Kov1.rep -- Rename successful!(Warning: file already exists)\n",
       "",
       2,
       {"Kov.rep", "Kov0.rep", "Kov1.rep"}},
      {"T:\\",
       "",
       {"Twice", "", "Held"},
       "<0>\n    ===>T:\\Twice.rep -- Rename successful!\n"
       "<1>\n    ===>T:\\Twice0.rep\n"
       "<2>\n    ===>T:\\Held.rep -- Rename successful!\n",
       moveError("No such file or directory"),
       1,
       {"Held.rep", "Twice.rep"}},
      {"\\\\?\\T:\\",
       "sub//n",
       {"Ext"},
       "<0>\n    ===>\\\\?\\T:\\sub/Ext.rep -- Rename successful!\n",
       "",
       0,
       {"sub/Ext.rep"}},
      {"T:\\out ",
       "",
       {"Blank"},
       "<0>\n    ===>T:\\out\\Blank.rep -- Rename successful!\n",
       "",
       0,
       {"out/Blank.rep"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args;
    for (std::size_t i = 0; i < row.names.size(); ++i) {
      const std::string& name = row.names[i];
      args.push_back(name.empty() ? args.back() : replay("r" + std::to_string(i) + ".rep", name));
    }
    pid_t holder = 0;
    if (row.names.back() == "Held") {
      holder = holdFiles(1000, {args.back()});
      ASSERT_GT(holder, 0);
    }
    ProcessResult r = run(args, row.destination + "\r\n" + row.format + "\r\n");
    if (holder > 0) ::waitpid(holder, nullptr, 0);
    std::string expected = row.expected;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string mark = "<" + std::to_string(i) + ">";
      expected.replace(expected.find(mark), mark.size(), args[i]);
    }
    const std::string shown = row.destination == "T:\\out " ? "T:\\out\\" : row.destination;
    EXPECT_EQ(r.out, windowsText(dialogue(shown) + expected +
                                 summary(static_cast<int>(args.size()),
                                         countOf(row.errors, "Error"), row.warnings)))
        << row.destination << " " << row.format;
    EXPECT_EQ(r.err, windowsText(row.errors));
    EXPECT_EQ(filesBelow(mount), row.onT);
    Names everywhere;  // T: lies in the test's folder
    for (const std::string& name : row.onT) everywhere.push_back("t/" + name);
    EXPECT_EQ(files(), everywhere) << "nothing left in the source folder";
    for (const std::string& name : row.onT) fs::remove(mount + "/" + name);
  }
}

// The Windows fault table (tests/windows_fault_table_win32.cpp): its rows, and a failure and a kill
// at the first call of each kind in every scene, with drive T: on a file system of its own for
// moves to another drive. scripts/fault_sweep.sh --windows runs it deeper.
TEST_F(UnderWine, FaultTableHolds) {
  const std::string mount = mountDriveT("64m");
  if (mount.empty()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here for a second drive";
  ProcessOptions options;
  options.extraEnv = wineEnv();
  const char* depth = ::getenv("REPRENAME_WINDOWS_SWEEP");
  options.timeoutSeconds = depth != nullptr ? 7200 : 900;  // a deeper sweep takes its time
  ProcessResult r = runProcess(
      {"wine", REPRENAME_FAULT_TABLE_EXE, "--sweep", depth != nullptr ? depth : "1", "T:\\"}, "",
      options);
  EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
  std::cout << r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
}

// Names Windows takes for devices are taken: a replay named CON or NUL gets the first free
// numbered name with the warning, on every Windows. A destination that spells the replays' own
// folder with '/', or in its \\?\ form, names the replay itself: numbered with the warning, not
// renamed onto itself.
TEST_F(UnderWine, DeviceNamesAndOtherSpellingsOfTheOwnNameAreTaken) {
  std::string con = replay("d/a.rep", "CON");
  std::string nul = replay("d/b.rep", "nul");
  std::string own = replay("d/own.rep", "own");
  ProcessResult r = run({con, nul}, "\r\n\r\n");
  const std::string folder = windowsPath(dir + "/d") + "\\";
  EXPECT_NE(r.out.find(windowsText(numbered(con, folder + "CON0.rep"))), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(windowsText(numbered(nul, folder + "nul0.rep"))), std::string::npos)
      << r.out;
  std::string forward = windowsPath(dir + "/d");
  std::replace(forward.begin(), forward.end(), '\\', '/');
  r = run({own}, forward + "\r\n\r\n");
  EXPECT_NE(r.out.find(windowsText(numbered(own, forward + "\\own0.rep"))), std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "");
  // The folder known by what it is, not how it is spelled: its \\?\ form, in upper case.
  std::string extended = "\\\\?\\" + windowsPath(dir + "/d");
  std::transform(extended.begin(), extended.end(), extended.begin(), ::toupper);
  own = replay("d/own.rep", "own");
  r = run({own}, extended + "\r\n\r\n");
  EXPECT_NE(r.out.find(windowsText(numbered(own, extended + "\\own1.rep"))), std::string::npos)
      << r.out;
  // Another drive letter for the same folder, as subst makes one.
  const std::string drive = REPRENAME_WINEPREFIX "/dosdevices/u:";
  fs::remove(drive);
  fs::create_directory_symlink(dir, drive);
  own = replay("d/own.rep", "own");
  r = run({own}, "U:\\d\r\n\r\n");
  fs::remove(drive);
  EXPECT_NE(r.out.find(windowsText(numbered(own, "U:\\d\\own2.rep"))), std::string::npos) << r.out;
  EXPECT_EQ(files(), (Names{"d/CON0.rep", "d/nul0.rep", "d/own0.rep", "d/own1.rep", "d/own2.rep"}));
}

}  // namespace
