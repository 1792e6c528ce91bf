#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/stop_requests.h"

namespace {

// How a path that is a symbolic link opens.
enum class Links { kFollow, kRefuse };  // kRefuse: it fails with ELOOP

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO's open from waiting for a writer;
// the fstat then turns away FIFOs, devices and directories, telling of the last in `isFolder`.
int openRegularFile(const std::string& path, struct stat* st, bool* isFolder = nullptr,
                    Links links = Links::kFollow) {
  const int noFollow = links == Links::kRefuse ? O_NOFOLLOW : 0;
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | noFollow);
  if (fd < 0) return -1;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    if (isFolder != nullptr) *isFolder = S_ISDIR(st->st_mode);
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// A regular file is told apart from every other by its device and inode.
FileStamp stampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.a = static_cast<uint64_t>(st.st_dev);
  stamp.b = static_cast<uint64_t>(st.st_ino);
  return stamp;
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

// How a file system lets a file take a name without replacing what is there, best first.
enum class NoReplaceWay {
  kRename,          // renameat2 with RENAME_NOREPLACE
  kLink,            // a hard link, which fails on an existing name, then the old name removed
  kClaimAndRename,  // the name created exclusively, then renamed over (FAT, exFAT, FUSE)
};

// The answers of a file system that cannot do what was asked at all, rather than refusing it here.
bool unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}
bool linkUnsupported(int error) { return unsupported(error) || error == EPERM; }

// Claims `to` with an empty file of our own, which only this call can have created, then puts
// `from` in its place. Nothing else is ever replaced; on failure the claim goes again.
int claimAndRename(const std::string& from, const std::string& to) {
  int claim = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (claim < 0) return errno;
  ::close(claim);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

// The last step of a move that put the file under `to` beside `from`: removes `from`, or, when
// that fails, `to` again, so the file is under exactly one of the two names.
int removeSourceOrUndo(const std::string& from, const std::string& to) {
  if (::unlink(from.c_str()) == 0) return 0;
  const int error = errno;
  ::unlink(to.c_str());
  return error;
}

int linkAndUnlink(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return removeSourceOrUndo(from, to);
}

// Renames without ever replacing `to`, starting with the best way `*way` may still work; a way
// the file system turns down is given up in `*way`. Returns 0 or the errno of the failure.
int renameNoReplace(const std::string& from, const std::string& to, NoReplaceWay* way) {
  if (*way == NoReplaceWay::kRename) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    if (!unsupported(error)) return error;
    *way = NoReplaceWay::kLink;
  }
  if (*way == NoReplaceWay::kLink) {
    const int error = linkAndUnlink(from, to);
    if (!linkUnsupported(error)) return error;
    *way = NoReplaceWay::kClaimAndRename;
  }
  return claimAndRename(from, to);
}

// Copies the data of `from` (`size` bytes) to `to`, leaving its holes as holes; false with errno
// set on failure, EINTR when a stop was asked for meanwhile.
bool copyContents(int from, int to, off_t size) {
  std::string buffer(1 << 20, '\0');
  for (off_t pos = 0; pos < size;) {
    off_t data = ::lseek(from, pos, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // nothing but a hole up to the end
    off_t hole = data < 0 ? size : ::lseek(from, data, SEEK_HOLE);
    if (data < 0) data = pos;  // a file system that cannot tell: all of it is data
    if (hole < 0 || hole > size) hole = size;
    for (off_t at = data; at < hole;) {
      if (systemStopRequested()) {
        errno = EINTR;
        return false;
      }
      const std::size_t want =
          static_cast<std::size_t>(std::min<off_t>(hole - at, static_cast<off_t>(buffer.size())));
      const ssize_t n = ::pread(from, &buffer[0], want, at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;  // the file shrank meanwhile
      for (ssize_t done = 0; done < n;) {
        const ssize_t w =
            ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(n - done), at + done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          if (w == 0) errno = ENOSPC;
          return false;
        }
        done += w;
      }
      at += n;
    }
    pos = hole;
  }
  return ::ftruncate(to, size) == 0;  // the length, and a hole at the end
}

// The extended attributes of `from` on `to`, as far as `to` can hold them: as with mv, what
// cannot be kept does not fail the move.
void copyExtendedAttributes(int from, int to) {
  std::string names;
  for (int attempt = 0; attempt < 3; ++attempt) {  // the list may grow between the two calls
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) return;
    names.assign(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(from, &names[0], names.size());
    if (size >= 0) {
      names.resize(static_cast<std::size_t>(size));
      break;
    }
    if (errno != ERANGE) return;
    names.clear();
  }
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const char* name = names.c_str() + at;
    ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) continue;
    std::string value(static_cast<std::size_t>(size), '\0');
    size = ::fgetxattr(from, name, &value[0], value.size());
    if (size >= 0) ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0);
    if (names.find('\0', at) == std::string::npos) break;
  }
}

// What mv keeps of a file it copies: owner and group where the process may set them (or else
// the group alone), extended attributes, permission bits (without set-user-ID and set-group-ID
// when the owner could not be kept), and the access and modification times.
void keepAttributes(int from, int to, const struct stat& st) {
  mode_t mode = st.st_mode & 07777;
  if (::fchown(to, st.st_uid, st.st_gid) != 0) {
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    (void)!::fchown(to, static_cast<uid_t>(-1), st.st_gid);
  }
  copyExtendedAttributes(from, to);
  ::fchmod(to, mode);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(to, times);
}

void syncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The folder a path lies in, to open: "." for a bare name.
std::string folderOf(const std::string& path) {
  const std::string_view folder = folderPart(path, PathStyle::kPosix);
  return folder.empty() ? "." : std::string(folder);
}

// The text a symbolic link holds.
bool readLink(const std::string& path, std::string* text) {
  for (std::size_t size = 256;; size *= 2) {
    text->assign(size, '\0');
    const ssize_t n = ::readlink(path.c_str(), &(*text)[0], size);
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < size) {
      text->resize(static_cast<std::size_t>(n));
      return true;
    }
  }
}

// A symbolic link moved to another file system, as mv moves it: a new link with the same text
// under the new name (which fails where the name is taken), then the old link removed.
int moveLinkAcrossVolumes(const std::string& from, const std::string& to) {
  std::string text;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0 || !readLink(from, &text)) return errno;
  if (::symlink(text.c_str(), to.c_str()) != 0) return errno;
  (void)!::fchownat(AT_FDCWD, to.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return removeSourceOrUndo(from, to);
}

// A move to another file system: copy beside the target under a name of our own, flush it, give
// it the target's name without replacing anything, and only then remove the source. Any failure
// leaves the source as it was and removes what was written. A symbolic link moves as itself.
int copyAcrossVolumes(const std::string& from, const std::string& to, NoReplaceWay* way) {
  struct stat st;
  int source = openRegularFile(from, &st, nullptr, Links::kRefuse);
  if (source < 0) return errno == ELOOP ? moveLinkAcrossVolumes(from, to) : errno;
  const std::string dir = folderOf(to);
  std::string temp = pathInFolder(dir, ".reprename-XXXXXX", PathStyle::kPosix);
  int copy = ::mkostemp(&temp[0], O_CLOEXEC);
  if (copy < 0) {
    int error = errno;
    ::close(source);
    return error;
  }
  int error = 0;
  if (!copyContents(source, copy, st.st_size)) error = errno;
  if (error == 0) {
    keepAttributes(source, copy, st);
    if (::fsync(copy) != 0) error = errno;
  }
  // Until the copy has the target's name it is a copy in progress, which a stop removes.
  if (error == 0 && systemStopRequested()) error = EINTR;
  if (::close(copy) != 0 && error == 0) error = errno;
  ::close(source);
  if (error == 0) error = renameNoReplace(temp, to, way);
  if (error != 0) {
    ::unlink(temp.c_str());
    return error;
  }
  syncDirectory(dir);
  return removeSourceOrUndo(from, to);
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
    result.stamp = stampOf(st);
    return result;
  }

  PathNow recheck(const std::string& path, const FileStamp& stamp) override {
    struct stat st;
    if (::fstatat(AT_FDCWD, path.c_str(), &st, 0) != 0) {
      return errno == ENOENT || errno == ENOTDIR ? PathNow::kNothing : PathNow::kOther;
    }
    return S_ISREG(st.st_mode) && stampOf(st) == stamp ? PathNow::kSameFile : PathNow::kOther;
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
    // Learned once per destination folder, which lies on one file system: an ordinary one
    // costs one rename a replay, one without a no-replace rename or hard links no more tries.
    NoReplaceWay& way = ways_.try_emplace(folderOf(to), NoReplaceWay::kRename).first->second;
    int error = renameNoReplace(from, to, &way);
    if (error == EXDEV) error = copyAcrossVolumes(from, to, &way);
    return error == 0 ? MoveResult() : moveFailure(error);
  }

 private:
  std::unordered_map<std::string, NoReplaceWay> ways_;
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() { return std::make_unique<PosixFileSystem>(); }
