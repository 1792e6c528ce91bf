// Moves on real file systems. Whatever fails part-way through a run, every replay is afterwards
// either at its old path or at its new one, whole, and never at both; a volume without a
// no-replace rename or hard links (exFAT through FUSE) still never loses or replaces a file; a
// copy to another file system keeps what mv keeps.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <map>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

class Faults : public EndToEnd {
 protected:
  void TearDown() override {
    if (mounted) ::umount2(mount.c_str(), MNT_DETACH);
    if (!loop.empty()) runQuietly({"losetup", "-d", loop});
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

  bool mountExfat() {
    mount = d + "mnt";
    mounted = mountExfatImage(d + "exfat.img", mount, &loop);
    return mounted;
  }

  std::string mount;
  bool mounted = false;
  std::string loop;  // the loop device of a FUSE volume, detached after the test
  std::map<std::string, std::string> contents;  // bytes -> original path
};

TEST_F(Faults, FullFileSystemMidRun) {
  if (!mountTmpfs("size=256k")) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  std::vector<std::string> paths = replays(5, 100 * 1024);
  ProcessResult r = run(paths, mount + "\n\n");
  EXPECT_EQ(r.exitStatus, 0);
  const std::string line = moveError("No space left on device");
  EXPECT_EQ(r.err, line + line + line) << r.out;
  EXPECT_NE(r.out.find(summary(5, 3, 0)), std::string::npos) << r.out;
  expectNothingLostOrDoubled(mount);
  EXPECT_EQ(files(), (Names{"mnt/n0.rep", "mnt/n1.rep", "src/r2.rep", "src/r3.rep", "src/r4.rep"}));
}

TEST_F(Faults, ReadOnlyFileSystem) {
  if (!mountTmpfs("size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  ASSERT_EQ(::mount("tmpfs", mount.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  std::vector<std::string> paths = replays(2, 4096);
  ProcessResult r = run(paths, mount + "\n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err, moveError("Read-only file system") + moveError("Read-only file system"));
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
  EXPECT_EQ(r.err, moveError("Permission denied") + moveError("Permission denied"));
  expectNothingLostOrDoubled(d + "locked");
}

// exFAT answers the no-replace rename with EINVAL and a hard link with EPERM, as USB sticks and
// NTFS partitions mounted through FUSE do: in place, numbered and copied onto it, nothing is
// replaced and nothing is left over.
TEST_F(Faults, VolumeWithoutNoReplaceRenameOrHardLinks) {
  if (!mountExfat()) GTEST_SKIP() << "skipped: cannot mount exFAT through FUSE here (root)";
  const std::string in = mount + "/in/";
  writeNamedReplay(in + "same.rep", "taken");
  std::vector<std::string> paths = {in + "a.rep", in + "b.rep", d + "src/c.rep"};
  writeNamedReplay(paths[0], "same");
  writeNamedReplay(paths[1], "same");
  writeNamedReplay(paths[2], "same");
  writeNamedReplay(in + "d.rep", "free");
  const std::string taken = readFile(in + "same.rep");
  ProcessResult r = run({paths[0], paths[1]}, "\n\n");
  ProcessResult copied = run({paths[2], in + "d.rep"}, in + "\n\n");
  EXPECT_EQ(r.out.substr(r.out.find(paths[0])), numbered(paths[0], in + "same0.rep") +
                                                    numbered(paths[1], in + "same1.rep") +
                                                    summary(2, 0, 2));
  EXPECT_NE(copied.out.find(numbered(paths[2], in + "same2.rep")), std::string::npos) << copied.out;
  EXPECT_NE(copied.out.find(renamed(in + "d.rep", in + "free.rep")), std::string::npos);
  EXPECT_EQ(r.err + copied.err, "");
  EXPECT_EQ(readFile(in + "same.rep"), taken) << "never replaced";
  EXPECT_EQ(namesIn(in), (Names{"free.rep", "same.rep", "same0.rep", "same1.rep", "same2.rep"}));
  EXPECT_FALSE(fs::exists(paths[2]));
}

// A move to another file system keeps what mv keeps: owner, mode, times, extended attributes,
// holes; and a replay given as a symbolic link arrives as that link.
TEST_F(Faults, CopyToAnotherFileSystemKeepsWhatMvKeeps) {
  const std::string other = folderOnAnotherFileSystem();
  if (other.empty()) GTEST_SKIP() << "no second file system at /dev/shm";
  ReplayFields big;
  big.size = 3 << 20;  // copied a MiB at a time
  const std::string kept = replay("src/kept.rep", "kept", big);
  const std::string bytes = readFile(kept);
  ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(kept.c_str(), 65534, 65534), 0);
  }
  const bool xattrs = ::setxattr(kept.c_str(), "user.note", "mine", 4, 0) == 0 &&
                      ::setxattr(kept.c_str(), "user.more", "ours", 4, 0) == 0 &&
                      ::setxattr(kept.c_str(), "user.empty", "", 0, 0) == 0;
  const timespec times[2] = {{1000000000, 5}, {1200000000, 7}};
  ASSERT_EQ(::utimensat(AT_FDCWD, kept.c_str(), times, 0), 0);  // reading the header sets atime
  const std::string sparse = replay("src/sparse.rep", "holes");
  fs::resize_file(sparse, 64 << 20);
  const std::string pointed = replay("elsewhere/pointed.rep", "link");
  fs::create_symlink("../elsewhere/pointed.rep", d + "src/link.rep");

  ProcessResult r = run({kept, sparse, d + "src/link.rep"}, other + "\n\n");
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find(summary(3, 0, 0)), std::string::npos) << r.out;
  EXPECT_TRUE(readFile(other + "/kept.rep") == bytes);
  struct stat st;
  ASSERT_EQ(::stat((other + "/kept.rep").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  char note[8] = {};
  if (xattrs) {
    EXPECT_EQ(::getxattr((other + "/kept.rep").c_str(), "user.note", note, 8), 4);
    EXPECT_EQ(std::string(note), "mine");
    EXPECT_EQ(::getxattr((other + "/kept.rep").c_str(), "user.more", note, 8), 4);
    EXPECT_EQ(std::string(note), "ours");
    EXPECT_EQ(::getxattr((other + "/kept.rep").c_str(), "user.empty", note, 8), 0);
  }
  ASSERT_EQ(::stat((other + "/holes.rep").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64 << 20);
  EXPECT_LT(st.st_blocks * 512, 1 << 20) << "the holes stay holes";
  EXPECT_TRUE(fs::is_symlink(other + "/link.rep"));
  EXPECT_EQ(fs::read_symlink(other + "/link.rep"), "../elsewhere/pointed.rep");
  EXPECT_TRUE(fs::exists(pointed)) << "the file the link points to stays";
  EXPECT_EQ(files(), Names{"elsewhere/pointed.rep"});
  EXPECT_EQ(namesIn(other), (Names{"holes.rep", "kept.rep", "link.rep"})) << "nothing else left";
  fs::remove_all(other);
}

}  // namespace
