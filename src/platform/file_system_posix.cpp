#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/file_system.h"
#include "platform/stop_signals_posix.h"

namespace {

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO's open from waiting for a writer;
// the fstat then turns away FIFOs, devices and directories, telling of the last in `isFolder`.
int openRegularFile(const std::string& path, struct stat* st, bool* isFolder = nullptr) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    if (isFolder != nullptr) *isFolder = S_ISDIR(st->st_mode);
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

MoveResult moveFailure(int error) {
  MoveResult result;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      result.error = MoveError::kNotFound;
      break;
    case EACCES:
    case EPERM:
      result.error = MoveError::kAccessDenied;
      break;
    case EEXIST:
    case ENOTEMPTY:
      result.error = MoveError::kAlreadyExists;
      break;
    case EXDEV:
      result.error = MoveError::kCrossDevice;
      break;
    case EROFS:
      result.error = MoveError::kReadOnly;
      break;
    case ENOSPC:
    case EDQUOT:
      result.error = MoveError::kDiskFull;
      break;
    case EINVAL:
      result.error = MoveError::kInvalidArgument;
      break;
    default:
      result.error = MoveError::kOther;
      result.otherText = ::strerror(error);
      break;
  }
  return result;
}

// Renames without ever replacing `to`; returns 0 or the errno of the failure.
int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int error = errno;
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return error;
  // The file system cannot refuse in one step; a hard link fails on an existing name instead.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

std::string directoryPart(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies all of `from` to `to`; false with errno set on failure, EINTR when a stop was asked
// for meanwhile.
bool copyBytes(int from, int to) {
  std::string buffer(1 << 20, '\0');
  for (;;) {
    if (heldStopSignal() != 0) {
      errno = EINTR;
      return false;
    }
    ssize_t n = ::read(from, &buffer[0], buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = ENOSPC;
        return false;
      }
      done += w;
    }
  }
}

void syncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A move to another file system: copy beside the target under a name of our own, flush it, give
// it the target's name without replacing anything, and only then remove the source. Any failure
// leaves the source as it was and removes what was written.
int copyAcrossDevices(const std::string& from, const std::string& to) {
  struct stat st;
  int source = openRegularFile(from, &st);
  if (source < 0) return errno;
  const std::string dir = directoryPart(to);
  std::string temp = dir + "/.reprename-XXXXXX";
  int copy = ::mkostemp(&temp[0], O_CLOEXEC);
  if (copy < 0) {
    int error = errno;
    ::close(source);
    return error;
  }
  int error = 0;
  if (!copyBytes(source, copy)) error = errno;
  if (error == 0) {
    ::fchmod(copy, st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(copy, times);
    if (::fsync(copy) != 0) error = errno;
  }
  // Until the copy has the target's name it is a copy in progress, which a stop removes.
  if (error == 0 && heldStopSignal() != 0) error = EINTR;
  if (::close(copy) != 0 && error == 0) error = errno;
  ::close(source);
  if (error == 0) error = renameNoReplace(temp, to);
  if (error != 0) {
    ::unlink(temp.c_str());
    return error;
  }
  syncDirectory(dir);
  if (::unlink(from.c_str()) != 0) {
    error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

class PosixFileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    ReadResult result;
    struct stat st;
    bool isFolder = false;
    int fd = openRegularFile(path, &st, &isFolder);
    if (fd < 0) {
      if (isFolder) result.status = ReadStatus::kFolder;
      return result;
    }
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      ssize_t n = ::read(fd, &result.bytes[got], limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ::close(fd);
        result.bytes.clear();
        return result;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    result.bytes.resize(got);
    result.status = ReadStatus::kOk;
    return result;
  }

  std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (entry == nullptr) break;
      if (!wanted(entry->d_name)) continue;
      bool regular = entry->d_type == DT_REG;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        struct stat st;  // a link counts as what it points to
        regular = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
      }
      if (regular) names.emplace_back(entry->d_name);
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    if (!complete) return std::nullopt;
    return names;
  }

  bool opensForReading(const std::string& path) override {
    struct stat st;
    int fd = openRegularFile(path, &st);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  MoveResult move(const std::string& from, const std::string& to) override {
    int error = renameNoReplace(from, to);
    if (error == EXDEV) error = copyAcrossDevices(from, to);
    return error == 0 ? MoveResult() : moveFailure(error);
  }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() { return std::make_unique<PosixFileSystem>(); }
