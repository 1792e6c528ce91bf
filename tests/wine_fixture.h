#pragma once

// The frame of the tests that run reprename.exe under Wine: the Wine session, a temporary
// folder, replays written into it, and the exe run on them in a chosen Windows setup.
#include <sys/mount.h>
#include <unistd.h>

#include "cp932.h"
#include "e2e_fixture.h"

namespace wine {

using namespace e2e;

// The exe's redirected texts are code page 932 with CR LF line ends, '?' for what that code page
// cannot show; the expectations are written in UTF-8.
inline std::string windowsText(const std::string& utf8) {
  std::string crlf;
  for (char c : toCp932OrQuestionMarks(utf8)) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  return crlf;
}

inline bool onPath(const std::string& program) {
  return runQuietly({"sh", "-c", "command -v " + program}) == 0;
}

// Wine takes the Windows code pages from the locale: ja_JP 932, en_US 1252, zh_CN 936.
inline const std::string kJapanese = "ja_JP.UTF-8";
inline const std::string kSetups[] = {kJapanese, "en_US.UTF-8", "zh_CN.UTF-8"};

inline std::vector<std::string> wineEnv(const std::string& locale = kJapanese) {
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

inline const auto* const kWineSession = ::testing::AddGlobalTestEnvironment(new WineSession);

// The end-to-end frame with the exe under Wine: its replay() and run() give and take Windows
// paths.
class UnderWine : public EndToEnd {
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
    EndToEnd::SetUp();
  }
  void TearDown() override {
    std::error_code ignored;
    if (!driveT.empty()) {
      fs::remove(REPRENAME_WINEPREFIX "/dosdevices/t:", ignored);
      ::umount2(driveT.c_str(), MNT_DETACH);
    }
    if (!dir.empty()) EndToEnd::TearDown();
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

  // With `meanwhile`, the answers wait until the first prompt shows, and it runs then.
  ProcessResult run(const std::vector<std::string>& args, const std::string& input,
                    const std::string& workingDirectory = "", const std::string& locale = kJapanese,
                    std::function<void()> meanwhile = nullptr) {
    std::vector<std::string> argv = {"wine", REPRENAME_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    if (meanwhile) options.inputAfter = "===>";
    options.meanwhile = std::move(meanwhile);
    options.workingDirectory = workingDirectory;
    options.extraEnv = wineEnv(locale);
    options.timeoutSeconds = 120;
    ProcessResult result = runProcess(argv, input, options);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  std::string driveT;  // the folder of drive T:, while mounted
};

}  // namespace wine
