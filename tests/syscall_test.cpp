// What the renamer asks of the system for each replay, traced with strace: one open, one fstat
// (the check that it is a regular file), one 67-byte read and one close of the replay on a
// reader thread, then one fstatat (the path still names the file read) and one rename; no
// existence test of a free target, no seeks, no second reads, no whole-file reads. The same
// whether the replays are named one by one or as their folder.
#include <unistd.h>

#include <regex>
#include <set>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

bool haveStrace() {
  return ::access("/usr/bin/strace", X_OK) == 0 || ::access("/bin/strace", X_OK) == 0;
}

// Runs the renamer under strace on `args`, answering `d`dest, and checks the calls made for each
// of `paths`, the replays, which become `d`dest/n0.rep, n1.rep, ...
void expectSixCallsPerReplay(const std::string& d, const std::vector<std::string>& args,
                             const std::vector<std::string>& paths) {
  // One log per thread (-ff), so no call is split by another thread's.
  fs::remove_all(d + "strace");
  fs::create_directories(d + "strace");
  std::vector<std::string> argv = {"strace",         "-ff",           "-qq", "-o",
                                   d + "strace/log", REPRENAME_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult r = runProcess(argv, d + "dest\n\n");
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;

  // The calls naming each replay, and those on its file descriptor from its open to its close.
  const std::regex call(R"(^(?:\d+ +)?(\w+)\((\d+)?(.*)\) += (-?\d+))");
  std::map<std::string, std::multiset<std::string>> callsOf;
  int targetOpens = 0;
  for (const auto& entry : fs::directory_iterator(d + "strace")) {
    std::ifstream in(entry.path());
    std::map<int, std::string> openFds;  // fds are the process's, but each thread closes its own
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (!std::regex_search(line, m, call)) continue;
      const std::string name = m[1];
      for (const std::string& path : paths) {
        if (line.find('"' + path + '"') == std::string::npos) continue;
        callsOf[path].insert(name);
        if (name == "openat" && std::stoi(m[4]) >= 0) openFds[std::stoi(m[4])] = path;
      }
      if (line.find('"' + d + "dest/n") != std::string::npos && name == "openat") ++targetOpens;
      auto open = m[2].matched ? openFds.find(std::stoi(m[2])) : openFds.end();
      if (open == openFds.end()) continue;
      callsOf[open->second].insert(name == "read" ? "read " + std::string(m[4]) : "fd " + name);
      if (name == "close") openFds.erase(open);
    }
  }
  // Open, the check that it is a regular file, one 67-byte read, close; later the check that the
  // path still names it, and the rename.
  const std::multiset<std::string> six = {"openat",   "fd newfstatat", "read 67",
                                          "fd close", "newfstatat",    "renameat2"};
  for (const std::string& path : paths) EXPECT_EQ(callsOf[path], six) << path;
  EXPECT_EQ(targetOpens, 0) << "no existence test of a free target";
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
