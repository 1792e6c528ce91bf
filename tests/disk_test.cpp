// Moves that fail part-way through a run, on real file systems: whatever fails, every replay is
// afterwards either at its old path or at its new one, whole, and never at both.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

class Faults : public EndToEnd {
 protected:
  void TearDown() override {
    if (mounted) ::umount2(mount.c_str(), MNT_DETACH);
    EndToEnd::TearDown();
  }

  // A small tmpfs at `mount`; false where this machine does not allow it.
  bool mountTmpfs(const std::string& options) {
    mount = d + "mnt";
    fs::create_directories(mount);
    mounted = ::mount("tmpfs", mount.c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted;
  }

  // `count` replays of `size` bytes with different contents, in src/.
  std::vector<std::string> replays(int count, std::size_t size) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      ReplayFields f;
      f.size = size;
      f.stage = i;  // makes every file's bytes differ
      paths.push_back(replay("src/r" + std::to_string(i) + ".rep", "n" + std::to_string(i), f));
      contents[readFile(paths.back())] = paths.back();
    }
    return paths;
  }

  // Every replay is exactly once in src/ or in `destination`, whole; nothing else is there.
  void expectNothingLostOrDoubled(const std::string& destination) {
    std::map<std::string, int> seen;
    for (const std::string& folder : {d + "src", destination}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        std::string bytes = readFile(entry.path());
        EXPECT_EQ(contents.count(bytes), 1u) << entry.path() << " is no whole replay";
        ++seen[bytes];
      }
    }
    for (const auto& [bytes, path] : contents) {
      EXPECT_EQ(seen[bytes], 1) << path << " is lost or doubled";
    }
  }

  std::string mount;
  bool mounted = false;
  std::map<std::string, std::string> contents;  // bytes -> original path
};

TEST_F(Faults, FullFileSystemMidRun) {
  if (!mountTmpfs("size=256k")) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  std::vector<std::string> paths = replays(5, 100 * 1024);
  ProcessResult r = run(paths, mount + "\n\n");
  EXPECT_EQ(r.exitStatus, 0);
  const std::string line = " -- Error: No space left on device\n";
  EXPECT_EQ(r.err, line + line + line) << r.out;
  EXPECT_NE(r.out.find("5 File(s) 3 Error(s) 0 Warning(s) \n"), std::string::npos) << r.out;
  expectNothingLostOrDoubled(mount);
  EXPECT_EQ(files(), (Names{"mnt/n0.rep", "mnt/n1.rep", "src/r2.rep", "src/r3.rep", "src/r4.rep"}));
}

TEST_F(Faults, ReadOnlyFileSystem) {
  if (!mountTmpfs("size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  ASSERT_EQ(::mount("tmpfs", mount.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  std::vector<std::string> paths = replays(2, 4096);
  ProcessResult r = run(paths, mount + "\n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err, " -- Error: Read-only file system\n -- Error: Read-only file system\n");
  expectNothingLostOrDoubled(mount);
}

TEST_F(Faults, DestinationWithoutWritePermission) {
  std::vector<std::string> paths = replays(2, 4096);
  fs::create_directories(d + "locked");
  ProcessOptions options;
  if (::geteuid() == 0) {
    // Root writes anywhere: run as nobody, who owns the sources but not the destination.
    options.user = 65534;
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chown((d + "src").c_str(), 65534, 65534), 0);
    for (const std::string& path : paths) ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod((d + "locked").c_str(), 0555), 0);
  ProcessResult r = run(paths, d + "locked\n\n", options);
  EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
  EXPECT_EQ(r.err, " -- Error: Permission denied\n -- Error: Permission denied\n");
  expectNothingLostOrDoubled(d + "locked");
}

TEST_F(Faults, DestinationMissing) {
  std::vector<std::string> paths = replays(3, 4096);
  ProcessResult r = run(paths, d + "gone\n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("3 File(s) 3 Error(s) 0 Warning(s) \n"), std::string::npos);
  fs::create_directories(d + "gone");
  expectNothingLostOrDoubled(d + "gone");
}

}  // namespace
