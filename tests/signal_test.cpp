// Ending a long run by a signal, on Linux: the replay in hand is finished or undone first, every
// replay moved has its outcome line in the output, and the process then ends by that signal.
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "e2e_fixture.h"
#include "platform/fd_posix.h"

namespace {

using namespace e2e;

void sleepMs(double ms) {
  timespec t{0, static_cast<long>(ms * 1e6)};
  ::nanosleep(&t, nullptr);
}

enum class Output { kFile, kPipe };

class Signals : public EndToEnd {
 protected:
  // Starts the renamer on `args` with the answers on standard input and both output streams in
  // files, as `reprename ... > log` would have them, or its output into a pipe read by
  // readToEnd(); no terminal.
  pid_t start(const std::vector<std::string>& args, const std::string& answers,
              Output output = Output::kFile) {
    std::ofstream(d + "answers") << answers;
    const int in = ::open((d + "answers").c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open((d + "out.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int ends[2];
    if (output == Output::kPipe && ::pipe2(ends, O_CLOEXEC) == 0) {
      ::close(out);
      out = ends[1];
      outPipe = Fd(ends[0]);
    }
    const int err = ::open((d + "err.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<std::string> argv = {REPRENAME_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = startProcess(argv, in, out, err);
    for (int fd : {in, out, err}) ::close(fd);
    return pid;
  }

  // Waits up to ten seconds for the run `pid` to have moved `path` and to be in a write to
  // standard output.
  static bool movedAndWriting(pid_t pid, const std::string& path) {
    const std::string call = "/proc/" + std::to_string(pid) + "/syscall";
    for (int i = 0; i < 20000; ++i) {
      if (fs::exists(path) && readFile(call).rfind(std::to_string(SYS_write) + " 0x1 ", 0) == 0) {
        return true;
      }
      sleepMs(0.5);
    }
    return false;
  }

  std::string readToEnd() {
    std::string all;
    char chunk[4096];
    for (ssize_t n; (n = ::read(outPipe.get(), chunk, sizeof chunk)) != 0;) {
      if (n > 0) all.append(chunk, n);
      if (n < 0 && errno != EINTR) break;
    }
    outPipe.reset();
    return all;
  }

  int endOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  Fd outPipe;
};

TEST_F(Signals, EveryMovedReplayHasItsLineWhicheverSignalEndsTheRun) {
  const int kReplays = 5000;
  std::vector<std::string> paths;
  for (int i = 0; i < kReplays; ++i) {
    std::string name = "a" + std::to_string(10000 + i);
    paths.push_back(replay("src/" + name + ".rep", name));
  }
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    fs::create_directories(d + "dest");
    // Its output unread, the run stops in a write once the pipe is full, in the middle of its
    // moves, whatever else the machine is doing; the signal comes there.
    pid_t pid = start({d + "src"}, d + "dest\n\n", Output::kPipe);
    ASSERT_TRUE(movedAndWriting(pid, d + "dest/a10000.rep")) << "it must be moving files";
    ::kill(pid, sig);
    const std::string out = readToEnd();
    const int status = endOf(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << " " << status;

    EXPECT_EQ(out.find("File(s)"), std::string::npos) << "no summary";
    EXPECT_EQ(out.find("Press any key"), std::string::npos) << "no key wait";
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n') << "the last line is whole";
    std::size_t moved = 0;
    for (const auto& entry : fs::directory_iterator(d + "dest")) {
      const std::string line = renamed(d + "src/" + entry.path().filename().string(), entry.path());
      EXPECT_NE(out.find(line), std::string::npos) << entry.path();
      ++moved;
    }
    EXPECT_EQ(countOf(out, "Rename successful!"), static_cast<int>(moved));
    EXPECT_LT(moved, static_cast<std::size_t>(kReplays)) << "stopped before the end";
    EXPECT_EQ(readFile(d + "err.log"), "");
    // Back where they came from, for the next signal.
    for (const auto& entry : fs::directory_iterator(d + "dest")) {
      fs::rename(entry.path(), d + "src/" + entry.path().filename().string());
    }
  }
  EXPECT_EQ(files().size(), static_cast<std::size_t>(kReplays) + 3);  // and answers, out, err
}

// A stop during a copy to another file system removes the copy: the replay stays whole where it
// was, and nothing is left beside the target.
TEST_F(Signals, CopyInProgressIsRemoved) {
  const std::string other = folderOnAnotherFileSystem();
  if (other.empty()) GTEST_SKIP() << "no second file system at /dev/shm";
  std::string a = replay("big.rep", "big");
  {
    std::ofstream data(a, std::ios::binary | std::ios::app);  // data, not holes: copied in full
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 512; ++i) data << chunk;
  }
  const std::uintmax_t size = fs::file_size(a);
  pid_t pid = start({a}, other + "\n\n");
  // The copy is an O_TMPFILE file in `other` that the process holds open.
  bool copying = false;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (int i = 0; i < 20000 && !copying; ++i) {
    std::error_code gone;
    for (const auto& entry : fs::directory_iterator(fds, gone)) {
      copying = copying || fs::read_symlink(entry.path(), gone).string().rfind(other, 0) == 0;
    }
    if (!copying) sleepMs(0.5);
  }
  EXPECT_TRUE(copying) << "the copy must still be going on";
  ::kill(pid, SIGTERM);
  const int status = endOf(pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_TRUE(fs::is_empty(other)) << "no copy, whole or partial, at the target";
  EXPECT_EQ(fs::file_size(a), size);
  const std::string out = readFile(d + "out.log");
  EXPECT_EQ(out.substr(out.rfind(a)), failed(a, other + "/big.rep"));
  EXPECT_EQ(readFile(d + "err.log"), moveError("Interrupted system call"));
  fs::remove_all(other);
}

}  // namespace
