// reprename.exe under Wine with a console of its own, a pseudo-terminal: the key wait, the
// texts a console shows, and Ctrl+C typed there.
#include "terminal_process.h"
#include "wine_fixture.h"

namespace {

using namespace wine;

// The exe on a pseudo-terminal, where Wine gives it a real console; with `log`, standard output
// and the error stream go to the files `log`.out and `log`.err instead, as `reprename > log` has.
TerminalProcess onATerminal(const std::vector<std::string>& args, const std::string& locale,
                            const std::string& log = "") {
  TerminalSetup setup;
  setup.extraEnv = wineEnv(locale);
  setup.output = log.empty() ? TerminalSetup::Output::kTerminal : TerminalSetup::Output::kFiles;
  setup.logPrefix = log;
  std::vector<std::string> argv = {"wine", REPRENAME_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return TerminalProcess(argv, setup);
}

// The final pause must wait, and end on a cursor key, which carries no character.
TEST_F(UnderWine, KeyWaitOnAConsoleEndsOnACursorKey) {
  TerminalProcess exe = onATerminal({}, kJapanese);
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
  TerminalProcess exe = onATerminal({a}, "en_US.UTF-8");
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

// Ctrl+C while a large replay is being copied to another drive, with the output in a file: the
// copy is given up and removed, the replay stays whole, every replay moved has its line in the
// log, and the exe ends as Ctrl+C ends a console program, without a summary.
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
  TerminalProcess exe = onATerminal({windowsPath(dir + "/src")}, kJapanese, dir + "/log");
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
  // The large replay comes last, in the group of the small ones: the stop must come while it is
  // being copied; the small ones are then finished, the large one's copy given up.
  bool copying = false;
  for (int i = 0; i < 20000 && !copying && exe.running(); ++i) {
    for (const auto& entry : fs::directory_iterator(mount)) {
      const std::string name = entry.path().filename().string();
      copying = copying || (name.rfind("reprename-copy-", 0) == 0 && entry.file_size() > (1 << 20));
    }
    if (!copying) exe.readFor(0);
  }
  ASSERT_TRUE(copying) << "the copy must still be going on";
  exe.type("\x03");
  for (int i = 0; i < 1500 && exe.running(); ++i) exe.readFor(20);
  EXPECT_EQ(exe.exitStatus(), 0x3A) << "STATUS_CONTROL_C_EXIT, as Wine passes it on";

  const std::string log = readFile(dir + "/log.out");
  const Names there = namesIn(mount);
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
