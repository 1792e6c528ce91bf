#pragma once

// The shared frame of the end-to-end tests: a temporary folder, replays written into it, and the
// built renamer run on them as a user would.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "process.h"
#include "replay_writer.h"

namespace e2e {

namespace fs = std::filesystem;

using namespace expected;
using Names = std::vector<std::string>;

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A match whose tokens all give text: on 4 July, Ish (cards 1, 2) against Brn (cards 0, 1) on
// stage 3. With the format below and the name "Go!" as the first file of a run it becomes
// kJulyFourthName.
inline ReplayFields julyFourthMatch() {
  // Name codes, month, day, then character, first card and second card of 1P and 2P, stage.
  return ReplayFields{{}, 7, 4, 2, 1, 2, 5, 0, 1, 3};
}
inline const std::string kAllTokensFormat = "/0_/d_/n_/1(/3,/4)vs/2(/5,/6)_/j_/J_/s";
inline const std::string kJulyFourthName =
    "000_0704_Go!_Ish(紅蓮,落雷)vsBrn(火輪,残響)_イシュカ_ブランカ_崩れかけた硝子の塔(Summit) 昼";

// A new empty folder in the temporary directory; empty when none could be made.
inline std::string makeTempFolder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// Writes a replay named `name` (in the replay's own alphabet) at `path`, making its folders.
inline void writeNamedReplay(const fs::path& path, const std::string& name, ReplayFields f = {}) {
  f.nameCodes = nameCodesFor(name);
  fs::create_directories(path.parent_path());
  EXPECT_TRUE(writeReplay(path.string(), f));
}

// Every regular file below `dir`, relative to it, sorted.
inline Names filesBelow(const std::string& dir) {
  Names names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) names.push_back(entry.path().lexically_relative(dir).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The names of everything directly in `folder`, sorted.
inline Names namesIn(const std::string& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A new exFAT volume at `mount`, through FUSE on a loop device (`*loop`, to detach after it is
// unmounted), as USB sticks are mounted; false where it cannot be had (root is needed).
inline bool mountExfatImage(const std::string& image, const std::string& mount, std::string* loop) {
  fs::create_directories(mount);
  if (!fs::exists("/dev/fuse")) return false;
  std::ofstream(image).close();
  fs::resize_file(image, 16 << 20);
  if (runQuietly({"mkfs.exfat", image}) != 0) return false;
  ProcessResult attach = runProcess({"losetup", "-f", "--show", image}, "");
  if (attach.exitStatus != 0 || attach.out.empty()) return false;
  *loop = attach.out.substr(0, attach.out.find('\n'));
  return runQuietly({"mount.exfat-fuse", *loop, mount}) == 0;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempFolder("reprename-e2e");
    ASSERT_FALSE(dir.empty());
    d = dir + "/";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  // Writes a replay named `name` (in the replay's own alphabet) at `relative`; returns its path.
  std::string replay(const std::string& relative, const std::string& name, ReplayFields f = {}) {
    writeNamedReplay(d + relative, name, f);
    return d + relative;
  }

  ProcessResult run(const std::vector<std::string>& args, const std::string& input,
                    ProcessOptions options = {}) {
    std::vector<std::string> argv = {REPRENAME_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = runProcess(argv, input, options);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  Names files() const { return filesBelow(dir); }

  // A new folder on another file system than the test's (/dev/shm); empty where there is none.
  std::string folderOnAnotherFileSystem() const {
    struct stat here, there;
    if (::stat(dir.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev) {
      return std::string();
    }
    char pattern[] = "/dev/shm/reprename-e2e-XXXXXX";
    return ::mkdtemp(pattern) != nullptr ? pattern : std::string();
  }

  std::string dir;
  std::string d;  // the folder with a trailing slash
};

}  // namespace e2e
