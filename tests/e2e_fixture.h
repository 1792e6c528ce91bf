#pragma once

// The shared frame of the end-to-end tests: a temporary folder, replays written into it, and the
// built renamer run on them as a user would.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "replay_writer.h"

namespace e2e {

namespace fs = std::filesystem;

inline const std::string kPause = " -- Press any key to exit --\n";
inline const std::string kOfferPrompt =
    "保存先を入力してください(空で最初のファイルと同じディレクトリ)\n===>";
inline const std::string kCancelPrompt = "保存先を入力してください(空でキャンセル)\n===>";
inline const std::string kFormatPrompt =
    "ファイル名のフォーマットを入力してください (?でヘルプを表示)\n===>";
inline const std::string kAbnormal =
    "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです\n";
inline const std::string kOpenError = " -- File open error!!\n";

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "reprename-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    d = dir + "/";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  // Writes a replay named `name` (in the replay's own alphabet) at `relative`; returns its path.
  std::string replay(const std::string& relative, const std::string& name, ReplayFields f = {}) {
    f.nameCodes = nameCodesFor(name);
    std::string path = d + relative;
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(writeReplay(path, f));
    return path;
  }

  ProcessResult run(const std::vector<std::string>& args, const std::string& input,
                    ProcessOptions options = {}) {
    std::vector<std::string> argv = {REPRENAME_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = runProcess(argv, input, options);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  // Every regular file below the folder, relative to it, sorted.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dialogue(const std::string& destination) const {
    return kOfferPrompt + "出力ディレクトリ " + destination + "\n" + kFormatPrompt;
  }

  std::string dir;
  std::string d;  // the folder with a trailing slash
};

using Names = std::vector<std::string>;

}  // namespace e2e
