// Runs reprename.exe under Wine as a Japanese Windows would (ANSI code page 932), and as an
// English (1252) and a Chinese (936) one: the exact Shift-JIS bytes with CR LF on both streams,
// the exit status, and the files on disk, where Wine stores the names as UTF-8.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "cp932.h"
#include "e2e_fixture.h"

namespace {

using namespace e2e;

// The exe's redirected texts are code page 932 with CR LF line ends, '?' for what that code page
// cannot show; the expectations are written in UTF-8.
std::string windowsText(const std::string& utf8) {
  std::string crlf;
  for (char c : toCp932OrQuestionMarks(utf8)) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  return crlf;
}

bool onPath(const std::string& program) {
  const char* path = ::getenv("PATH");
  std::string dirs = path ? path : "";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (::access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// Wine takes the Windows code pages from the locale: ja_JP 932, en_US 1252, zh_CN 936.
const std::string kJapanese = "ja_JP.UTF-8";
const std::string kSetups[] = {kJapanese, "en_US.UTF-8", "zh_CN.UTF-8"};

std::vector<std::string> wineEnv(const std::string& locale = kJapanese) {
  return {"LANG=" + locale, "LC_ALL=" + locale, "WINEDEBUG=-all",
          "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEPREFIX=" REPRENAME_WINEPREFIX};
}

// Makes the Wine prefix before the first test, so its messages do not mix with the program's,
// and keeps one Wine server running for all runs.
class WineSession : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!onPath("wine")) return;
    ProcessOptions options;
    options.extraEnv = wineEnv();
    options.timeoutSeconds = 300;
    runQuietly({"wineserver", "-p"}, options);
    runQuietly({"wineboot", "-i"}, options);
  }
  void TearDown() override {
    if (!onPath("wine")) return;
    ProcessOptions options;
    options.extraEnv = wineEnv();
    runQuietly({"wineserver", "-k"}, options);
  }
};

const auto* const kWineSession = ::testing::AddGlobalTestEnvironment(new WineSession);

class UnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const bool required = ::getenv("REPRENAME_REQUIRE_WINE") != nullptr;
    std::string why;
    if (!fs::exists(REPRENAME_EXE)) why = "no " REPRENAME_EXE " (cmake --preset windows)";
    if (!onPath("wine")) why = "no wine";
    if (!why.empty()) {
      if (required) FAIL() << why;
      GTEST_SKIP() << why;
    }
    dir = makeTempFolder("reprename-wine");
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    std::error_code ignored;
    if (!driveT.empty()) {
      fs::remove(REPRENAME_WINEPREFIX "/dosdevices/t:", ignored);
      ::umount2(driveT.c_str(), MNT_DETACH);
    }
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }

  // Drive T: on a tmpfs of `size` of its own, another volume than the test's folder; returns its
  // folder, or nothing where this machine cannot mount one.
  std::string mountDriveT(const std::string& size) {
    const std::string mount = dir + "/t";
    fs::create_directories(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) return "";
    driveT = mount;
    const std::string drive = REPRENAME_WINEPREFIX "/dosdevices/t:";
    std::error_code ignored;
    fs::remove(drive, ignored);
    fs::create_directory_symlink(mount, drive);
    return mount;
  }

  // The Windows name Wine gives a path of this machine: drive Z: is the root.
  static std::string windowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  // Writes a replay at `relative` below the folder; returns its Windows path.
  std::string replay(const std::string& relative, const std::string& name, ReplayFields f = {}) {
    writeNamedReplay(dir + "/" + relative, name, f);
    return windowsPath(dir + "/" + relative);
  }

  ProcessResult run(const std::vector<std::string>& args, const std::string& input,
                    const std::string& workingDirectory = "",
                    const std::string& locale = kJapanese) {
    std::vector<std::string> argv = {"wine", REPRENAME_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.workingDirectory = workingDirectory;
    options.extraEnv = wineEnv(locale);
    options.timeoutSeconds = 120;
    ProcessResult result = runProcess(argv, input, options);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  Names files() const { return filesBelow(dir); }

  std::string dir;
  std::string driveT;  // the folder of drive T:, while mounted
};

TEST_F(UnderWine, WithoutFilesSaysHowToUse) {
  ProcessResult r = run({}, "");
  EXPECT_EQ(r.out, windowsText(".rep ファイルをexeにドロップしてください\n" + kPause));
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
  const std::string second =
      "001_0704_Go!_Ish(紅蓮,落雷)vsBrn(火輪,残響)_イシュカ_ブランカ_崩れかけた硝子の塔(Summit) 昼";
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ " + folder + "\n" + kFormatPrompt +
                               kHelpScreen + "===>" + a + "\n    ===>" + folder + first +
                               ".rep -- Rename successful!\n" + b + "\n    ===>" + folder + second +
                               ".rep -- Rename successful!\n" +
                               "2 File(s) 0 Error(s) 0 Warning(s) \n" + kPause));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), (Names{"表ソ/" + first + ".rep", "表ソ/" + second + ".rep", "表ソ/dup.rep"}));

  // Now the same name twice, and a name that is taken.
  std::string c = replay("表ソ/c.rep", "dup");
  std::string d = replay("表ソ/d.rep", "dup");
  r = run({c, d}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ " + folder + "\n" + kFormatPrompt +
                               c + "\n    ===>" + folder +
                               "dup0.rep -- Rename successful!(Warning: file already exists)\n" +
                               d + "\n    ===>" + folder +
                               "dup1.rep -- Rename successful!(Warning: file already exists)\n" +
                               "2 File(s) 0 Error(s) 2 Warning(s) \n" + kPause));
  EXPECT_EQ(files(), (Names{"表ソ/" + first + ".rep", "表ソ/" + second + ".rep", "表ソ/dup.rep",
                            "表ソ/dup0.rep", "表ソ/dup1.rep"}));
}

TEST_F(UnderWine, FailedMoveGoesToTheErrorStream) {
  std::string a = replay("a.rep", "one");
  const std::string nowhere = windowsPath(dir) + "\\nowhere\\";
  ProcessResult r = run({a}, windowsPath(dir) + "\\nowhere\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ " + nowhere + "\n" + kFormatPrompt +
                               a + "\n    ===>" + nowhere + "one.rep\n" +
                               "1 File(s) 1 Error(s) 0 Warning(s) \n" + kPause));
  EXPECT_EQ(r.err, windowsText(" -- Error: No such file or directory\n"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(files(), Names{"a.rep"});
}

TEST_F(UnderWine, FatalStops) {
  std::string good = replay("good.rep", "good");
  std::string bad = replay("bad.rep", "bad");
  fs::resize_file(fs::path(dir) / "bad.rep", 66);
  ProcessResult r = run({good, bad}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ " + windowsPath(dir) + "\\\n" +
                               kFormatPrompt + good + "\n    ===>" + windowsPath(dir) +
                               "\\good0.rep -- Rename successful!(Warning: file already exists)\n" +
                               bad + "\n    ===>" +
                               "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです\n" +
                               kPause));
  EXPECT_EQ(r.exitStatus, 1);

  const std::string missing = windowsPath(dir) + "\\missing.rep";
  r = run({missing}, "\r\n\r\n");
  EXPECT_EQ(r.out,
            windowsText(kOfferPrompt + "出力ディレクトリ " + windowsPath(dir) + "\\\n" +
                        kFormatPrompt + missing + "\n    ===> -- File open error!!\n" + kPause));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(files(), (Names{"bad.rep", "good0.rep"}));
}

TEST_F(UnderWine, WildcardsAreNotExpanded) {
  replay("a.rep", "abc");
  const std::string pattern = windowsPath(dir) + "\\*.rep";
  ProcessResult r = run({pattern}, "\r\n\r\n");
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ " + windowsPath(dir) + "\\\n" +
                               kFormatPrompt + pattern + "\n    ===>" + kOpenError + kPause));
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
    EXPECT_EQ(r.out,
              windowsText(kOfferPrompt + "出力ディレクトリ " + shown + "\n" + kFormatPrompt + a +
                          "\n    ===>" + shown + kJulyFourthName + ".rep -- Rename successful!\n" +
                          b + "\n    ===>" + shown + second + ".rep -- Rename successful!\n" +
                          "2 File(s) 0 Error(s) 0 Warning(s) \n" + kPause))
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
  EXPECT_NE(r.out.find(windowsText(windowsPath(deep) + "\\one.rep -- Rename successful!\n")),
            std::string::npos)
      << r.out << r.err;
  r = run({b}, windowsText("\"" + windowsPath(dir + "/My Replays 表") + "\"\n\n"));
  EXPECT_NE(r.out.find(windowsText("\\My Replays 表\\two.rep -- Rename successful!\n")),
            std::string::npos)
      << r.out << r.err;
  EXPECT_EQ(files(),
            (Names{"My Replays 表/two.rep", fs::relative(deep, dir).string() + "/one.rep"}));
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
  EXPECT_EQ(r.out, windowsText(kOfferPrompt + "出力ディレクトリ T:\\\n" + kFormatPrompt + a +
                               "\n    ===>T:\\fits.rep -- Rename successful!\n" + b +
                               "\n    ===>T:\\toobig.rep\n" +
                               "2 File(s) 1 Error(s) 0 Warning(s) \n" + kPause));
  EXPECT_EQ(r.err, windowsText(" -- Error: No space left on device\n"));
  Names there;
  for (const auto& entry : fs::directory_iterator(mount)) there.push_back(entry.path().filename());
  EXPECT_EQ(there, Names{"fits.rep"}) << "no partial or temporary file";
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
  std::string expected = kOfferPrompt + "出力ディレクトリ " + folder + "\\\n" + kFormatPrompt;
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"A.rep", "ay"}, {"b.rep", "bee"}, {"é.REP", "ee"}, {"表.rep", "hyo"}}) {
    expected +=
        folder + "\\" + from + "\n    ===>" + folder + "\\" + to + ".rep -- Rename successful!\n";
  }
  EXPECT_EQ(r.out, windowsText(expected + "4 File(s) 0 Error(s) 0 Warning(s) \n" + kPause));
  EXPECT_EQ(files(), (Names{"drop/ay.rep", "drop/bee.rep", "drop/ee.rep", "drop/hyo.rep",
                            "drop/notes.txt", "drop/sub/c.rep", "drop/x.rep/d.rep"}));
}

// Starts hold_files.exe on `paths` for `ms` milliseconds; returns its process once it holds them.
pid_t holdFiles(int ms, const std::vector<std::string>& paths) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    ::dup2(out[1], 1);
    std::vector<std::string> argv = {"wine", REPRENAME_HOLD_FILES_EXE, std::to_string(ms)};
    argv.insert(argv.end(), paths.begin(), paths.end());
    execArgs(argv, wineEnv());
  }
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
  EXPECT_NE(r.out.find("brief.rep -- Rename successful!"), std::string::npos) << r.out << r.err;
  ::waitpid(holder, nullptr, 0);

  std::string b = replay("b.rep", "long1");
  std::string c = replay("c.rep", "long2");
  holder = holdFiles(5000, {b, c});
  ASSERT_GT(holder, 0);
  timespec start;
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  r = run({b, c}, "\r\n\r\n");
  const double seconds = secondsSince(start);
  EXPECT_EQ(r.err, windowsText(" -- Error: Permission denied\n -- Error: Permission denied\n"));
  EXPECT_GT(seconds, 1.5) << "the first locked move waits";
  EXPECT_LT(seconds, 3.9) << "the second does not wait again";
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(files(), (Names{"b.rep", "brief.rep", "c.rep"}));
}

// The exe on a pseudo-terminal, where Wine gives it a real console; with `log`, standard output
// and the error stream go to the files `log`.out and `log`.err instead, as `reprename > log` has.
class OnATerminal {
 public:
  OnATerminal(const std::vector<std::string>& args, const std::string& locale,
              const std::string& log = "") {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const std::string slaveName = ::ptsname(master_);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      int tty = ::open(slaveName.c_str(), O_RDWR);
      ::dup2(tty, 0);
      ::dup2(log.empty() ? tty : ::open((log + ".out").c_str(), O_WRONLY | O_CREAT, 0600), 1);
      ::dup2(log.empty() ? tty : ::open((log + ".err").c_str(), O_WRONLY | O_CREAT, 0600), 2);
      std::vector<std::string> argv = {"wine", REPRENAME_EXE};
      argv.insert(argv.end(), args.begin(), args.end());
      execArgs(argv, wineEnv(locale));
    }
  }
  ~OnATerminal() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }

  bool started() const { return pid_ > 0; }

  // Collects what the console shows for `ms` milliseconds.
  void readFor(int ms) {
    pollfd p{master_, POLLIN, 0};
    for (int waited = 0; waited < ms; waited += 20) {
      if (::poll(&p, 1, 20) > 0) {
        char buffer[4096];
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  // Waits up to 30 seconds for `text` to be shown.
  bool shows(const std::string& text) {
    for (int i = 0; i < 300 && shown.find(text) == std::string::npos; ++i) readFor(100);
    return shown.find(text) != std::string::npos;
  }
  void type(const std::string& keys) {
    EXPECT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  bool running() {
    if (!exited_) exited_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
    return !exited_;
  }
  // Types `key` and waits for the end; true when it ended with status 0. On a loaded machine
  // Wine's console has now and then lost a key, so one that shows no effect is typed again.
  bool endsOnKey(const std::string& key) {
    for (int attempt = 0; attempt < 3 && running(); ++attempt) {
      type(key);
      endsWithin(150);
    }
    return endsWithin(250);
  }
  // Waits up to `rounds` times 20 milliseconds for the end; true when it ended with status 0.
  bool endsWithin(int rounds) {
    for (int i = 0; i < rounds && running(); ++i) readFor(20);
    return exited_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }
  // The exit status once it has ended, or -1.
  int exitStatus() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

  std::string shown;

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};

// The final pause must wait, and end on a cursor key, which carries no character.
TEST_F(UnderWine, KeyWaitOnAConsoleEndsOnACursorKey) {
  OnATerminal exe({}, kJapanese);
  ASSERT_TRUE(exe.started());
  EXPECT_TRUE(exe.shows("Press any key")) << exe.shown;
  exe.readFor(1500);
  EXPECT_TRUE(exe.running()) << "the pause must wait for a key";
  EXPECT_TRUE(exe.endsOnKey("\x1b[A")) << "the up arrow ends the pause";
}

// On an English Windows the console still shows the Japanese texts, and an Enter typed ahead at
// the last prompt does not end the final pause.
TEST_F(UnderWine, EnglishConsoleShowsJapaneseAndIgnoresKeysTypedAhead) {
  std::string a = replay("a.rep", "abc");
  OnATerminal exe({a}, "en_US.UTF-8");
  ASSERT_TRUE(exe.started());
  EXPECT_TRUE(exe.shows("保存先を入力してください(空で最初のファイルと同じディレクトリ)"))
      << exe.shown;
  // On a busy machine Wine's console has lost keys sent the moment a prompt appeared: the
  // answer waits a little for the read to begin.
  exe.readFor(700);
  exe.type("\r");
  EXPECT_TRUE(exe.shows("ファイル名のフォーマットを入力してください")) << exe.shown;
  exe.readFor(700);
  exe.type("\r\r");
  EXPECT_TRUE(exe.shows("Press any key")) << exe.shown;
  exe.readFor(1500);
  EXPECT_TRUE(exe.running()) << "the Enter typed ahead must not end the pause";
  EXPECT_TRUE(exe.endsOnKey("x"));
  EXPECT_EQ(files(), Names{"abc.rep"});
}

// Names Windows takes for devices are taken: a replay named CON or NUL gets the first free
// numbered name with the warning, on every Windows. A destination that spells the replays' own
// folder with '/' names the replay itself: numbered with the warning, not renamed onto itself.
TEST_F(UnderWine, DeviceNamesAndOtherSpellingsOfTheOwnNameAreTaken) {
  std::string con = replay("d/a.rep", "CON");
  std::string nul = replay("d/b.rep", "nul");
  std::string own = replay("d/own.rep", "own");
  ProcessResult r = run({con, nul}, "\r\n\r\n");
  const std::string folder = windowsPath(dir + "/d") + "\\";
  const std::string warned = ".rep -- Rename successful!(Warning: file already exists)\n";
  EXPECT_NE(r.out.find(windowsText(folder + "CON0" + warned)), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(windowsText(folder + "nul0" + warned)), std::string::npos) << r.out;
  std::string forward = windowsPath(dir + "/d");
  std::replace(forward.begin(), forward.end(), '\\', '/');
  r = run({own}, forward + "\r\n\r\n");
  EXPECT_NE(r.out.find(windowsText(forward + "\\own0" + warned)), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(files(), (Names{"d/CON0.rep", "d/nul0.rep", "d/own0.rep"}));
}

// Ctrl+C while a large replay is being copied to another drive, with the output in a file: the
// copy is given up and removed, the replay stays whole, every replay moved before has its line
// in the log, and the exe ends as Ctrl+C ends a console program, without a summary.
TEST_F(UnderWine, CtrlCDuringACopyToAnotherDriveLosesNothing) {
  const std::string mount = mountDriveT("1g");
  if (mount.empty()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here for a second drive";
  for (int i = 0; i < 50; ++i)
    replay("src/r" + std::to_string(10 + i) + ".rep", "s" + std::to_string(i));
  replay("src/zz.rep", "big");
  {
    std::ofstream data(dir + "/src/zz.rep", std::ios::binary | std::ios::app);
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 512; ++i) data << chunk;
  }
  const auto bigSize = fs::file_size(dir + "/src/zz.rep");
  OnATerminal exe({windowsPath(dir + "/src")}, kJapanese, dir + "/log");
  ASSERT_TRUE(exe.started());
  auto logShows = [&](const std::string& text) {
    for (int i = 0; i < 600; ++i) {
      if (readFile(dir + "/log.out").find(windowsText(text)) != std::string::npos) return true;
      exe.readFor(50);
    }
    return false;
  };
  ASSERT_TRUE(logShows("保存先を入力してください")) << readFile(dir + "/log.out");
  exe.readFor(700);
  exe.type("T:\\\r");
  ASSERT_TRUE(logShows("ファイル名のフォーマット")) << readFile(dir + "/log.out");
  exe.readFor(700);
  exe.type("\r");
  // The large replay comes last: the stop must come while it is being copied.
  bool copying = false;
  for (int i = 0; i < 20000 && !copying && exe.running(); ++i) {
    int moved = 0;
    bool temporary = false;
    for (const auto& entry : fs::directory_iterator(mount)) {
      const std::string name = entry.path().filename().string();
      temporary = temporary || name.rfind("reprename-copy-", 0) == 0;
      moved += name.size() > 4 && name.compare(name.size() - 4, 4, ".rep") == 0;
    }
    copying = temporary && moved == 50;
    if (!copying) exe.readFor(0);
  }
  ASSERT_TRUE(copying) << "the copy must still be going on";
  exe.type("\x03");
  for (int i = 0; i < 1500 && exe.running(); ++i) exe.readFor(20);
  EXPECT_EQ(exe.exitStatus(), 0x3A) << "STATUS_CONTROL_C_EXIT, as Wine passes it on";

  const std::string log = readFile(dir + "/log.out");
  Names there;
  for (const auto& entry : fs::directory_iterator(mount)) there.push_back(entry.path().filename());
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there.size(), 50u) << "no temporary file is left";
  for (const std::string& name : there) {
    EXPECT_NE(log.find(windowsText("T:\\" + name + " -- Rename successful!\n")), std::string::npos)
        << name;
  }
  EXPECT_EQ(fs::file_size(dir + "/src/zz.rep"), bigSize) << "the replay stays whole";
  EXPECT_EQ(log.find("File(s)"), std::string::npos) << "no summary";
  EXPECT_EQ(log.find("Press any key"), std::string::npos) << "no key wait";
}

}  // namespace
