// The least a renamer must do per replay, for the benchmark to compare against: open the file,
// read its 67-byte header, close it, test the target name once, rename without replacing. A
// folder (a path not ending in ".rep") stands for the files in it, by name. With --threads N the
// headers are first read N at a time, as a disk serves many reads in flight far faster than one
// after another.
//   reprename_baseline [--threads N] DEST_DIR PATH...
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

bool readHeader(const std::string& path) {
  char header[67];
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool whole = ::read(fd, header, sizeof header) == sizeof header;
  ::close(fd);
  return whole;
}

// A path not ending in ".rep" is taken for a folder, asking the system nothing for a file.
void addPath(const std::string& path, std::vector<std::string>* paths) {
  const bool replay = path.size() >= 4 && path.compare(path.size() - 4, 4, ".rep") == 0;
  DIR* dir = replay ? nullptr : ::opendir(path.c_str());
  if (dir == nullptr) {
    paths->push_back(path);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type == DT_REG) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) paths->push_back(path + "/" + name);
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  unsigned threads = 0;
  if (argc > 2 && std::strcmp(argv[1], "--threads") == 0) {
    threads = static_cast<unsigned>(std::atoi(argv[2]));
    first = 3;
  }
  if (argc < first + 1) return 2;
  const std::string dest = std::string(argv[first]) + "/";
  std::vector<std::string> paths;
  for (int i = first + 1; i < argc; ++i) addPath(argv[i], &paths);

  if (threads > 0) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> readers;
    for (unsigned t = 0; t < threads; ++t) {
      readers.emplace_back([&] {
        for (std::size_t i; (i = next++) < paths.size();) {
          if (!readHeader(paths[i])) failed = true;
        }
      });
    }
    for (std::thread& reader : readers) reader.join();
    if (failed) return 1;
  }
  int failures = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (threads == 0 && !readHeader(paths[i])) return 1;
    const std::string target = dest + "b" + std::to_string(i) + ".rep";
    int taken = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (taken >= 0) ::close(taken);
    if (::renameat2(AT_FDCWD, paths[i].c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
