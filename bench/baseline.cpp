// The least a renamer must do per replay, for the benchmark to compare against: open the file,
// read its 67-byte header, close it, test the target name once, rename without replacing.
//   reprename_baseline DEST_DIR FILE...
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dest = std::string(argv[1]) + "/";
  int failures = 0;
  for (int i = 2; i < argc; ++i) {
    char header[67];
    int fd = ::open(argv[i], O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::read(fd, header, sizeof header) != sizeof header) return 1;
    ::close(fd);
    const std::string target = dest + std::to_string(i) + ".rep";
    int taken = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (taken >= 0) ::close(taken);
    if (::renameat2(AT_FDCWD, argv[i], AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
