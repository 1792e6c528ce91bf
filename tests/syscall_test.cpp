// What the renamer asks of the system for each replay, traced with strace: one open, one fstat
// (the check that it is a regular file), one 67-byte read and one close of the replay on a
// reader thread, then one fstatat (the path still names the file read) and one rename; no
// existence test of a free target, no seeks, no second reads, no whole-file reads. The same
// whether the replays are named one by one or as their folder.
#include <unistd.h>

#include <regex>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

bool haveStrace() {
  return ::access("/usr/bin/strace", X_OK) == 0 || ::access("/bin/strace", X_OK) == 0;
}

struct FileCalls {
  int opens = 0;
  int fstats = 0;
  std::vector<std::string> reads;  // what each read returned
  int seeks = 0;
  int closes = 0;
  int rechecks = 0;
  int renames = 0;
};

// Runs the renamer under strace on `args`, answering `d`dest, and checks the calls made for each
// of `paths`, the replays, which become `d`dest/n0.rep, n1.rep, ...
void expectSixCallsPerReplay(const std::string& d, const std::vector<std::string>& args,
                             const std::vector<std::string>& paths) {
  // One log per thread (-ff), so no call is split by another thread's.
  const std::string log = d + "strace/log";
  fs::remove_all(d + "strace");
  fs::create_directories(d + "strace");
  std::vector<std::string> argv = {"strace", "-ff", "-qq", "-o", log, REPRENAME_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult r = runProcess(argv, d + "dest\n\n");
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;

  // Follow each replay's file descriptor from its open to its close.
  const std::regex call(R"(^(?:\d+ +)?(\w+)\((\d+)?(.*)\) += (-?\d+))");
  std::map<std::string, FileCalls> byPath;
  std::map<std::string, int> targetOpens;
  std::map<int, std::string> openFds;
  std::vector<std::string> lines;
  for (const auto& entry : fs::directory_iterator(d + "strace")) {
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  for (const std::string& line : lines) {
    std::smatch m;
    if (!std::regex_search(line, m, call)) continue;
    const std::string name = m[1];
    const int fd = m[2].matched ? std::stoi(m[2]) : -1;
    const int result = std::stoi(m[4]);
    for (const std::string& path : paths) {
      if (line.find('"' + path + '"') == std::string::npos) continue;
      if (name == "openat" || name == "open") {
        ++byPath[path].opens;
        if (result >= 0) openFds[result] = path;
      }
      if (name == "renameat2" || name == "rename") ++byPath[path].renames;
      if (name == "newfstatat" || name == "statx") ++byPath[path].rechecks;
    }
    for (int i = 0; i < 3; ++i) {
      if (line.find("\"" + d + "dest/n" + std::to_string(i) + ".rep\"") != std::string::npos &&
          name.rfind("open", 0) == 0) {
        ++targetOpens["n" + std::to_string(i)];
      }
    }
    auto open = openFds.find(fd);
    if (fd < 0 || open == openFds.end()) continue;
    FileCalls& calls = byPath[open->second];
    if (name == "fstat" || name == "newfstatat" || name == "statx") ++calls.fstats;
    if (name == "read" || name == "pread64") calls.reads.push_back(m[4]);
    if (name == "lseek" || name == "pread64") ++calls.seeks;
    if (name == "close") {
      ++calls.closes;
      openFds.erase(open);
    }
  }
  for (const std::string& path : paths) {
    const FileCalls& calls = byPath[path];
    EXPECT_EQ(calls.opens, 1) << path;
    EXPECT_EQ(calls.fstats, 1) << path;
    EXPECT_EQ(calls.reads, std::vector<std::string>{"67"}) << path;
    EXPECT_EQ(calls.seeks, 0) << path;
    EXPECT_EQ(calls.closes, 1) << path;
    EXPECT_EQ(calls.rechecks, 1) << path;
    EXPECT_EQ(calls.renames, 1) << path;
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(targetOpens["n" + std::to_string(i)], 0) << i;
}

TEST_F(EndToEnd, SystemCallsPerReplay) {
  if (!haveStrace()) GTEST_SKIP() << "no strace here";
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' own runtime makes system calls and cannot run under strace";
#endif
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) {
    ReplayFields f;
    f.size = 64 * 1024;
    paths.push_back(replay("src/r" + std::to_string(i) + ".rep", "n" + std::to_string(i), f));
  }
  fs::create_directories(d + "dest");
  expectSixCallsPerReplay(d, paths, paths);
  for (int i = 0; i < 3; ++i) fs::rename(d + "dest/n" + std::to_string(i) + ".rep", paths[i]);
  expectSixCallsPerReplay(d, {d + "src"}, paths);
}

}  // namespace
