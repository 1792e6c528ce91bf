// Runs the built renamer as a user would: replays made in a temporary folder, answers on
// standard input, and the exact output, exit status and files on disk afterwards.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

TEST_F(EndToEnd, WithoutFilesSaysHowToUse) {
  ProcessResult r = run({}, "");
  EXPECT_EQ(r.out, kNoReplays);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
}

// The command-line manners of a GNU tool, as getopt_long has them: -h and --help, -V and
// --version and their unique abbreviations, wherever they stand; an unknown option refused
// before any prompt with getopt_long's words; -- before replays that start with '-'.
TEST_F(EndToEnd, OptionsAsGnuToolsTakeThem) {
  ProcessResult r = run({"--help"}, "");
  const std::string help = r.out;
  EXPECT_EQ(help.rfind("Usage: reprename REPLAY|FOLDER...\n", 0), 0u) << help;
  for (const char* token :
       {"/n", "/1", "/2", "/j", "/J", "/s", "/3", "/4", "/5", "/6", "/0", "/d"}) {
    EXPECT_NE(help.find(std::string("  ") + token + "  "), std::string::npos) << token;
  }
  EXPECT_NE(help.find("man reprename"), std::string::npos);
  EXPECT_EQ(help.find("===>"), std::string::npos) << "no prompt";
  EXPECT_EQ(r.exitStatus, 0);
  const std::string version = "reprename " REPRENAME_VERSION
                              "\nCopyright (C) 2026 The reprename developers.\n"
                              "License MIT: <https://opensource.org/licenses/MIT>.\n"
                              "This is free software: you are free to change and redistribute it.\n"
                              "There is NO WARRANTY, to the extent permitted by law.\n";
  const auto refused = [](const std::string& why) {
    return "reprename: " + why + "\nTry 'reprename --help' for more information.\n";
  };
  replay("--help", "helped");
  replay("-odd.rep", "odd");
  ProcessOptions here;
  here.workingDirectory = dir;
  const struct {
    std::vector<std::string> args;
    std::string out, err;
    int status;
  } cases[] = {
      {{"--version"}, version, "", 0},
      {{"--version", "--help"}, version, "", 0},
      {{"-V"}, version, "", 0},
      {{"--vers"}, version, "", 0},
      {{"a.rep", "-V"}, version, "", 0},
      {{"-h"}, help, "", 0},
      {{"--h"}, help, "", 0},
      {{"--hlep"}, "", refused("unrecognized option '--hlep'"), 2},
      {{"--help=me"}, "", refused("option '--help' doesn't allow an argument"), 2},
      {{"-odd.rep"}, "", refused("invalid option -- 'o'"), 2},
      {{"./--help"},
       dialogue("./") + renamed("./--help", "./helped.rep") + summary(1, 0, 0),
       "",
       0},
      {{"--", "-odd.rep"}, kOfferPrompt + kPause, "", 1},  // the input ends at the question
      {{"--", "--hlep"}, kOfferPrompt + kPause, "", 1},
      {{"-", "--", "-V"}, kOfferPrompt + kPause, "", 1},  // "-" alone is a replay's name
  };
  for (const auto& c : cases) {
    r = run(c.args, c.args[0] == "./--help" ? "\n\n" : "", here);
    EXPECT_EQ(r.out, c.out) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.exitStatus, c.status) << c.args[0];
  }
}

TEST_F(EndToEnd, RenamesIntoTheFirstFilesFolderByReplayName) {
  std::string a = replay("in/a.rep", " AB CD");
  std::string b = replay("in/b.rep", "Final");
  ProcessResult r = run({a, b}, "\n\n");
  EXPECT_EQ(r.out, dialogue(d + "in/") + renamed(a, d + "in/AB CD.rep") +
                       renamed(b, d + "in/Final.rep") + summary(2, 0, 0));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"in/AB CD.rep", "in/Final.rep"}));
  ReplayFields f;
  f.nameCodes = nameCodesFor("Final");
  EXPECT_EQ(readFile(d + "in/Final.rep"), replayBytes(f)) << "moved whole";
}

TEST_F(EndToEnd, AllTwelveTokensWithJapaneseTexts) {
  ReplayFields f = julyFourthMatch();
  std::string a = replay("a.rep", "Go!", f);
  f.stage = 16;
  f.p2Character = 2;
  std::string b = replay("b.rep", "Go!", f);
  fs::create_directories(d + "out");
  ProcessOptions options;
  options.workingDirectory = dir;  // "out" is relative to the renamer's working directory
  ProcessResult r = run({a, b}, "out\n?\n" + kAllTokensFormat + "\n", options);
  const std::string first = kJulyFourthName;
  const std::string second = "001_0704_Go!_Ish(紅蓮,落雷)vsIsh(朱雀,雲海)_イシュカ_イシュカ_";
  EXPECT_NE(r.out.find("\nHow to use\n"), std::string::npos);
  EXPECT_NE(r.out.find("となります\n===>" + renamed(a, "out/" + first + ".rep") +
                       renamed(b, "out/" + second + ".rep") + summary(2, 0, 0)),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"out/" + first + ".rep", "out/" + second + ".rep"}));
}

TEST_F(EndToEnd, FileWhoseNameIsAlreadyItsOwnGetsNumberZero) {
  std::string a = replay("abc.rep", "abc");
  ProcessResult r = run({a}, "\n\n");
  EXPECT_NE(r.out.find(numbered(a, d + "abc0.rep") + summary(1, 0, 1)), std::string::npos) << r.out;
  EXPECT_EQ(files(), Names{"abc0.rep"});
}

TEST_F(EndToEnd, FailedMoveIsReportedOnTheErrorStreamAndCounted) {
  std::string a = replay("in/a.rep", "abc");
  std::string b = replay("in/b.rep", "abc");
  std::string c = replay("in/c.rep", "dir");
  fs::create_directories(d + "in/dir.rep");  // does not open as a file, so it counts as free
  ProcessOptions options;
  options.mergeErrors = true;
  ProcessResult r = run({a, b, c}, "\n\n", options);
  EXPECT_EQ(r.out,
            dialogue(d + "in/") + renamed(a, d + "in/abc.rep") + numbered(b, d + "in/abc0.rep") +
                failed(c, d + "in/dir.rep", moveError("File already exists")) + summary(3, 1, 1));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"in/abc.rep", "in/abc0.rep", "in/c.rep"}));
}

TEST_F(EndToEnd, MissingDestinationFailsEveryMoveAndTheRunGoesOn) {
  std::string a = replay("a.rep", "one");
  std::string b = replay("b.rep", "two");
  ProcessResult r = run({a, b}, d + "nowhere\n\n");
  EXPECT_EQ(r.out, dialogue(d + "nowhere/") + failed(a, d + "nowhere/one.rep") +
                       failed(b, d + "nowhere/two.rep") + summary(2, 2, 0));
  EXPECT_EQ(r.err, moveError("No such file or directory") + moveError("No such file or directory"));
  EXPECT_EQ(files(), (Names{"a.rep", "b.rep"}));
}

// `reprename *.rep` in a terminal: a bare name is a file in the current folder, which Enter
// keeps as the destination.
TEST_F(EndToEnd, ABareNameOffersTheCurrentFolder) {
  replay("a.rep", "abc");
  ProcessOptions options;
  options.workingDirectory = dir;
  ProcessResult r = run({"a.rep"}, "\n\n", options);
  EXPECT_EQ(r.out, dialogue("./") + renamed("a.rep", "./abc.rep") + summary(1, 0, 0));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), Names{"abc.rep"});
}

TEST_F(EndToEnd, EndOfInputAtAPromptEndsLikeACancel) {
  struct Case {
    std::string input;
    std::string shown;  // after the dialogue's start
  } cases[] = {
      {"", kOfferPrompt},
      {"\n", dialogue(d)},
      {"\n?\n", dialogue(d)},
  };
  for (const Case& c : cases) {
    std::string a = replay("a.rep", "abc");
    ProcessResult r = run({a}, c.input);
    EXPECT_EQ(r.out.substr(0, c.shown.size()), c.shown);
    const std::string ending = "===>" + kPause;
    ASSERT_GE(r.out.size(), ending.size());
    EXPECT_EQ(r.out.substr(r.out.size() - ending.size()), ending) << c.input;
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(files(), Names{"a.rep"});
  }
}

TEST_F(EndToEnd, LastAnswerWithoutLineFeedAndCarriageReturnsCount) {
  std::string a = replay("a.rep", "abc");
  fs::create_directories(d + "o");
  ProcessResult r = run({a}, "\r\n/n-x");
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(files(), Names{"abc-x.rep"});
  std::string b = replay("b.rep", "abc");
  r = run({b}, d + "o\r\n/n\r\n");
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(files(), (Names{"abc-x.rep", "o/abc.rep"}));
}

TEST_F(EndToEnd, AbnormalTenthReplayStopsTheRun) {
  std::vector<std::string> args;
  for (int i = 0; i < 12; ++i) {
    args.push_back(replay("r" + std::to_string(i) + ".rep", "n" + std::to_string(i)));
  }
  std::ofstream(args[9], std::ios::binary | std::ios::trunc) << std::string(67, '\x65');
  ProcessResult r = run(args, "\n/0-/n\n");
  EXPECT_NE(r.out.find(renamed(args[8], d + "008-n8.rep") + stopped(args[9], kAbnormal)),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("File(s)"), std::string::npos);
  EXPECT_EQ(r.exitStatus, 1);
  Names expected = {"r10.rep", "r11.rep", "r9.rep"};
  for (int i = 8; i >= 0; --i)
    expected.insert(expected.begin(), "00" + std::to_string(i) + "-n" + std::to_string(i) + ".rep");
  EXPECT_EQ(files(), expected);
}

TEST_F(EndToEnd, ReplaysThatAreNotWholeFilesStopTheRun) {
  struct Case {
    const char* what;
    std::size_t size;  // of a replay with valid name codes
    std::string message;
  } cases[] = {
      {"empty", 0, kAbnormal},
      {"one byte", 1, kAbnormal},
      {"66 bytes", 66, kAbnormal},
      {"67 bytes", 67, ""},
  };
  for (const Case& c : cases) {
    ReplayFields f;
    f.size = c.size;
    fs::create_directories(d + "out");
    std::string first = replay("first.rep", "first");
    std::string a = replay("a.rep", "short", f);
    ProcessResult r = run({first, a}, d + "out\n\n");
    if (c.message.empty()) {
      EXPECT_EQ(r.exitStatus, 0) << c.what;
      EXPECT_EQ(files(), (Names{"out/first.rep", "out/short.rep"})) << c.what;
    } else {
      EXPECT_EQ(r.exitStatus, 1) << c.what;
      EXPECT_NE(r.out.find(stopped(a, c.message)), std::string::npos) << r.out;
      EXPECT_EQ(files(), (Names{"a.rep", "out/first.rep"})) << c.what;
    }
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
}

TEST_F(EndToEnd, WhatDoesNotOpenAsAFileStopsTheRun) {
  std::string first = replay("first.rep", "first");
  ASSERT_EQ(::mkfifo((d + "pipe.rep").c_str(), 0600), 0);
  for (const std::string& path : {d + "missing.rep", d + "pipe.rep"}) {
    ProcessResult r = run({first, path}, "\n\n");
    EXPECT_NE(r.out.find(numbered(first, d + "first0.rep") + stopped(path, kOpenError)),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.exitStatus, 1);
    // The first replay was renamed to first0.rep; put it back for the next case.
    fs::rename(d + "first0.rep", first);
  }
}

// The first replay's header is read before the first prompt shows; what its path names when its
// turn comes decides: the file read moves, another replay moves under its own name, a folder or
// FIFO stops the run as a replay that does not open, and a name gone fails its move.
TEST_F(EndToEnd, WhatMovesIsWhatWasRead) {
  const std::string first = d + "a/first.rep";
  struct Case {
    const char* meanwhile;
    std::function<void()> change;
    std::string out;  // after the dialogue
    std::string err;
    int exitStatus;
  } cases[] = {
      {"nothing", [] {}, renamed(first, d + "a/own.rep") + summary(1, 0, 0), "", 0},
      {"replaced by another replay",
       [&] {
         writeNamedReplay(first + ".new", "other");
         fs::rename(first + ".new", first);
       },
       renamed(first, d + "a/other.rep") + summary(1, 0, 0), "", 0},
      {"replaced by a folder", [&] { fs::remove(first), fs::create_directories(first + "/kept"); },
       stopped(first, kOpenError), "", 1},
      {"replaced by a FIFO", [&] { fs::remove(first), ::mkfifo(first.c_str(), 0600); },
       stopped(first, kOpenError), "", 1},
      {"removed", [&] { fs::remove(first); }, failed(first, d + "a/own.rep") + summary(1, 1, 0),
       moveError("No such file or directory"), 0},
  };
  for (const Case& c : cases) {
    replay("a/first.rep", "own");
    ProcessOptions options;
    options.inputAfter = kOfferPrompt;
    options.meanwhile = c.change;
    ProcessResult r = run({first}, "\n\n", options);
    EXPECT_EQ(r.out, dialogue(d + "a/") + c.out) << c.meanwhile;
    EXPECT_EQ(r.err, c.err) << c.meanwhile;
    EXPECT_EQ(r.exitStatus, c.exitStatus) << c.meanwhile;
    EXPECT_EQ(fs::is_directory(first + "/kept"),
              c.meanwhile == std::string("replaced by a folder"));
    fs::remove_all(d + "a");
  }
}

TEST_F(EndToEnd, OverlongNamesFailLikeAnyMoveAndLongPathsWork) {
  std::string a = replay("a.rep", "abc");
  std::string b = replay("b.rep", "abc");
  const std::string longName(300, 'x');
  ProcessResult r = run({a}, "\n" + longName + "\n");
  EXPECT_EQ(r.out, dialogue(d) + failed(a, d + longName + ".rep") + summary(1, 1, 0));
  EXPECT_EQ(r.err, moveError("File name too long"));
  EXPECT_EQ(r.exitStatus, 0);

  std::string deep = d;
  for (int i = 0; i < 12; ++i) deep += std::string(40, 'a' + i) + "/";
  fs::create_directories(deep);
  r = run({b}, deep + "\n" + std::string(200, 'n') + "/n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(fs::exists(deep + std::string(200, 'n') + "abc.rep")) << r.out << r.err;
}

TEST_F(EndToEnd, FifoAtTheTargetCountsAsFreeAndIsNeverReplaced) {
  std::string a = replay("a.rep", "abc");
  ASSERT_EQ(::mkfifo((d + "abc.rep").c_str(), 0600), 0);
  ProcessResult r = run({a}, "\n\n");
  EXPECT_EQ(r.err, moveError("File already exists"));
  EXPECT_EQ(r.exitStatus, 0);
  struct stat st;
  ASSERT_EQ(::lstat((d + "abc.rep").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(files(), Names{"a.rep"});
}

// A folder stands for the replays directly in it, in the order of their names: regular files
// and links to them, named *.rep in any case. Renamed in place, none is renamed twice.
TEST_F(EndToEnd, FoldersStandForTheirReplays) {
  std::string b = replay("in/b.REP", "bee");
  std::string a = replay("in/a.rep", "ay");
  replay("in/sub/c.rep", "sea");
  replay("other/o.rep", "oh");
  std::ofstream(d + "in/notes.txt") << "not a replay";
  fs::create_symlink("../other/o.rep", d + "in/link.rep");
  fs::create_directory_symlink("sub", d + "in/dirlink.rep");
  fs::create_symlink("nowhere.rep", d + "in/broken.rep");
  ASSERT_EQ(::mkfifo((d + "in/fifo.rep").c_str(), 0600), 0);
  std::string x = replay("x/x.rep", "ex");
  fs::create_directories(d + "empty");
  ProcessResult r = run({d + "in", x, d + "empty"}, "\n/n\n");
  EXPECT_EQ(r.out, dialogue(d + "in/") + renamed(a, d + "in/ay.rep") +
                       renamed(b, d + "in/bee.rep") + renamed(d + "in/link.rep", d + "in/oh.rep") +
                       renamed(x, d + "in/ex.rep") + summary(4, 0, 0));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"in/ay.rep", "in/bee.rep", "in/ex.rep", "in/notes.txt", "in/oh.rep",
                            "in/sub/c.rep", "other/o.rep"}));
  EXPECT_TRUE(fs::is_symlink(d + "in/oh.rep"));

  // A folder without replays is like no argument at all.
  r = run({d + "empty"}, "");
  EXPECT_EQ(r.out, kNoReplays);
  EXPECT_EQ(r.exitStatus, 0);
}

TEST_F(EndToEnd, FolderThatCannotBeListedFailsInItsTurn) {
  std::string a = replay("a.rep", "one");
  fs::create_directories(d + "locked");
  replay("locked/l.rep", "hidden");
  ProcessOptions options;
  if (::geteuid() == 0) {
    options.user = 65534;  // root lists anything
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(::chown(a.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod((d + "locked").c_str(), 0), 0);
  ProcessResult r = run({a, d + "locked"}, "\n\n", options);
  EXPECT_EQ(r.out, dialogue(d) + renamed(a, d + "one.rep") + stopped(d + "locked", kOpenError));
  EXPECT_EQ(r.exitStatus, 1);
  ::chmod((d + "locked").c_str(), 0755);
}

}  // namespace
