// Runs reprename.exe under Wine as a Japanese Windows would (ANSI code page 932): the exact
// Shift-JIS bytes with CR LF on both streams, the exit status, and the files on disk, where
// Wine stores the Shift-JIS names as UTF-8.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cp932.h"
#include "e2e_fixture.h"

namespace {

using namespace e2e;

// The exe's texts are code page 932 with CR LF line ends; the expectations are written in UTF-8.
std::string windowsText(const std::string& utf8) {
  std::optional<std::string> sjis = toCp932(utf8);
  EXPECT_TRUE(sjis.has_value()) << utf8;
  std::string crlf;
  for (char c : sjis.value_or("")) {
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

const std::vector<std::string> kWineEnv = {
    "LANG=ja_JP.UTF-8", "LC_ALL=ja_JP.UTF-8", "WINEDEBUG=-all",
    "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEPREFIX=" REPRENAME_WINEPREFIX};

// Makes the Wine prefix before the first test, so its messages do not mix with the program's,
// and keeps one Wine server running for all runs.
class WineSession : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!onPath("wine")) return;
    ProcessOptions options;
    options.extraEnv = kWineEnv;
    options.timeoutSeconds = 300;
    runQuietly({"wineserver", "-p"}, options);
    runQuietly({"wineboot", "-i"}, options);
  }
  void TearDown() override {
    if (!onPath("wine")) return;
    ProcessOptions options;
    options.extraEnv = kWineEnv;
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
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }

  // The Windows name Wine gives a path of this machine: drive Z: is the root.
  static std::string windowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  // Writes a replay at `relative` below the folder; returns its Windows path.
  std::string replay(const std::string& relative, const std::string& name, ReplayFields f = {}) {
    f.nameCodes = nameCodesFor(name);
    fs::path path = fs::path(dir) / relative;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(writeReplay(path.string(), f));
    return windowsPath(path.string());
  }

  ProcessResult run(const std::vector<std::string>& args, const std::string& input,
                    const std::string& workingDirectory = "") {
    std::vector<std::string> argv = {"wine", REPRENAME_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.workingDirectory = workingDirectory;
    options.extraEnv = kWineEnv;
    options.timeoutSeconds = 120;
    ProcessResult result = runProcess(argv, input, options);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  Names files() const { return filesBelow(dir); }

  std::string dir;
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
  for (const std::string& path : {std::string("a.rep"), forward}) {
    ProcessResult r = run({path}, "\r\n", dir);
    EXPECT_EQ(r.out, windowsText(kCancelPrompt + kPause)) << path;
    EXPECT_EQ(r.exitStatus, 1);
  }
  EXPECT_EQ(files(), Names{"a.rep"});
}

// With a terminal, Wine gives the exe a real console: the final pause must wait, and end on a
// cursor key, which carries no character.
TEST_F(UnderWine, KeyWaitOnAConsoleEndsOnACursorKey) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slaveName = ::ptsname(master);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    int tty = ::open(slaveName.c_str(), O_RDWR);
    ::dup2(tty, 0);
    ::dup2(tty, 1);
    ::dup2(tty, 2);
    execArgs({"wine", REPRENAME_EXE}, kWineEnv);
  }
  std::string shown;
  auto readFor = [&](int ms) {
    pollfd p{master, POLLIN, 0};
    for (int waited = 0; waited < ms; waited += 20) {
      if (::poll(&p, 1, 20) > 0) {
        char buffer[4096];
        ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
      }
    }
  };
  for (int i = 0; i < 300 && shown.find("Press any key") == std::string::npos; ++i) readFor(100);
  EXPECT_NE(shown.find("Press any key"), std::string::npos) << shown;
  readFor(1500);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the pause must wait for a key";
  ASSERT_EQ(::write(master, "\x1b[A", 3), 3);  // the up arrow
  bool exited = false;
  for (int i = 0; i < 500 && !exited; ++i) {
    readFor(20);
    exited = ::waitpid(pid, &status, WNOHANG) == pid;
  }
  if (!exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(exited) << "the up arrow ends the pause";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(master);
}

}  // namespace
