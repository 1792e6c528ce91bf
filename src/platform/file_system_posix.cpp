#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/fd_posix.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"

// The file system on Linux. Its divisions, in the order the Windows one has them too:
//   Linux beyond POSIX    what another system's port replaces
//   Paths                 a path's folder, a link's text
//   What a file tells     which file it is, and whether it changed
//   Errors                the system's errors in the tool's words
//   Renames and removals  a name taken without replacing anything
//   Copying data          a copy's bytes, proven, and what mv keeps beside them
//   Flushes               data and names put on disk
//   A replay at its turn  opened for its move: renamed, or staging its own copy
//   Copies                a copy in its target's folder until its move is settled
//   The file system       what the driver is given

namespace {

// What a copy's own proof reports beside the errnos: its source is not the file read, or no
// longer holds what was copied (cut, rewritten, or open for writing by another program).
constexpr int kSourceNotAsRead = -1;

// ---- Linux beyond POSIX

// What this file needs of Linux beyond POSIX, each in one helper, so that another system's port
// replaces these and keeps the rest.

// Renames, failing with EEXIST rather than replacing what `to` names (renameat2).
int renameWithoutReplacing(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0
                                                                                          : errno;
}

// A file's extended attributes, by descriptor.
ssize_t listAttributes(int fd, char* names, std::size_t size) {
  return ::flistxattr(fd, names, size);
}
ssize_t readAttribute(int fd, const char* name, void* value, std::size_t size) {
  return ::fgetxattr(fd, name, value, size);
}
int writeAttribute(int fd, const char* name, const void* value, std::size_t size) {
  return ::fsetxattr(fd, name, value, size, 0);
}

// A file's access and modification times, as futimens and utimensat take them.
struct FileTimes {
  timespec times[2];
};
FileTimes timesOf(const struct stat& st) { return {{st.st_atim, st.st_mtim}}; }

// Puts everything written to the file system `fd` lies on to disk, telling of write errors.
int syncFileSystem(int fd) { return ::syncfs(fd) == 0 ? 0 : errno; }

// A new O_TMPFILE file in `folder`, open for writing; nothing where the file system has none.
int openNameless(const std::string& folder) {
  return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

// Whether an O_TMPFILE file can later be linked without privileges: by its /proc/self/fd link.
bool namelessFilesCanBeNamed() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// Links the O_TMPFILE file open as `fd` at `to` (linkat), failing with EEXIST where it is taken.
int nameNameless(int fd, const std::string& to) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Holds the file open as `fd` against other runs of the tool, without waiting: EWOULDBLOCK where
// another holds it; 0 where it is held now, or where its file system keeps no such locks.
int holdAgainstOtherRuns(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK ? 0 : EWOULDBLOCK;
}

// 0 unless another program has the file open as `fd` (read-only) for writing, which a read lease,
// taken and given back at once, tells: kSourceNotAsRead then. A file system or a file that
// takes no leases tells nothing. The lease's break signal, SIGIO, is ignored (PosixFileSystem).
int probeForWriters(int fd) {
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return errno == EAGAIN ? kSourceNotAsRead : 0;
  ::fcntl(fd, F_SETLEASE, F_UNLCK);
  return 0;
}

// Whether `fd` lies on a FUSE file system (exFAT, NTFS through ntfs-3g), whose daemon never hears
// of a syncfs: only an fsync reaches it.
bool onFuse(int fd) {
  constexpr decltype(statfs::f_type) kFuseMagic = 0x65735546;  // FUSE_SUPER_MAGIC
  struct statfs st;
  return ::fstatfs(fd, &st) == 0 && st.f_type == kFuseMagic;
}

// ---- Paths

// The folder a path lies in, to open: "." for a bare name.
std::string folderOf(const std::string& path) {
  std::string folder(folderPart(path, PathStyle::kPosix));
  if (folder.empty()) folder = ".";
  return folder;
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

// ---- What a file tells

// Opens `path` for reading, with `flags` besides. O_NONBLOCK keeps a FIFO's open from waiting
// for a writer, and a terminal never becomes the process's own.
Fd openForReading(const std::string& path, int flags = 0) {
  return Fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags));
}

// Opens a regular file for reading; the fstat turns away FIFOs, devices and directories,
// telling of the last in `isFolder`. Nothing opened, with errno set, where it fails.
Fd openRegularFile(const std::string& path, struct stat* st, bool* isFolder = nullptr) {
  Fd fd = openForReading(path);
  if (!fd) return fd;
  if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode)) {
    if (isFolder != nullptr) *isFolder = S_ISDIR(st->st_mode);
    fd.reset();
    errno = EINVAL;
  }
  return fd;
}

// A regular file is told apart from every other by its device and inode.
FileStamp stampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.volume = static_cast<uint64_t>(st.st_dev);
  stamp.fileId = static_cast<uint64_t>(st.st_ino);
  return stamp;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// True when a source is as it was when its copy began: the same file, of the same length,
// written and changed at the same times.
bool unchanged(const struct stat& now, const struct stat& then) {
  return sameFile(now, then) && (now.st_mode & S_IFMT) == (then.st_mode & S_IFMT) &&
         now.st_size == then.st_size && sameTime(now.st_mtim, then.st_mtim) &&
         sameTime(now.st_ctim, then.st_ctim);
}

// ---- Errors

// The errors a move is reported by in the tool's own words; any other, by the system's text.
struct ShownErrno {
  int error;
  MoveError shown;
};
constexpr ShownErrno kShownErrnos[] = {
    {ENOENT, MoveError::kNotFound},        {ENOTDIR, MoveError::kNotFound},
    {EACCES, MoveError::kAccessDenied},    {EPERM, MoveError::kAccessDenied},
    {EEXIST, MoveError::kAlreadyExists},   {ENOTEMPTY, MoveError::kAlreadyExists},
    {EXDEV, MoveError::kCrossDevice},      {EROFS, MoveError::kReadOnly},
    {ENOSPC, MoveError::kDiskFull},        {EDQUOT, MoveError::kDiskFull},
    {EINVAL, MoveError::kInvalidArgument}, {EINTR, MoveError::kInterrupted},
    {EWOULDBLOCK, MoveError::kSourceHeld}, {kSourceNotAsRead, MoveError::kSourceChanged},
};

MoveResult moveFailureOfErrno(int error) {
  for (const ShownErrno& row : kShownErrnos) {
    if (row.error == error) return MoveResult{row.shown, {}};
  }
  return MoveResult{MoveError::kOther, ::strerror(error)};
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
// What a file system may not hold of a file's attributes (FAT, exFAT), which mv skips too.
bool attributeNotHeld(int error) {
  return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
}

// ---- Renames and removals

// What the renamer has learned of one destination folder, which lies on one file system.
struct Folder {
  NoReplaceWay way = NoReplaceWay::kRename;
  std::optional<dev_t> device;  // asked only where a claim would be made
  bool nameless = true;         // copies can be made without a name (O_TMPFILE)
  std::optional<bool> fuse;     // asked once a copy lies in it
};

// The device `folder` lies on, asked once.
int folderDevice(Folder& folder, const std::string& path, dev_t* device) {
  if (!folder.device) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    folder.device = st.st_dev;
  }
  *device = *folder.device;
  return 0;
}

// Claims `to` with an empty file of our own, which only this call can have created, then puts
// `from` in its place. Nothing else is ever replaced; on failure the claim goes again. No claim
// is made for a file on another file system, where the rename could only fail.
int claimAndRename(const std::string& from, const std::string& to, Folder& folder,
                   const std::string& folderPath) {
  struct stat st;
  dev_t device = 0;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  if (folderDevice(folder, folderPath, &device) == 0 && device != st.st_dev) return EXDEV;
  Fd claim(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!claim) return errno;
  claim.reset();
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    return ::unlink(to.c_str()) == 0 ? error : errno;
  }
  return 0;
}

// Removes the source of a move whose file is under its new name too. A source already gone
// leaves the new name the file's only one, so it stays; any other failure takes the new name
// away again, so the file is under exactly one of the two.
int removeSourceOrUndo(const std::string& from, const std::string& to) {
  if (::unlink(from.c_str()) == 0 || errno == ENOENT) return 0;
  const int error = errno;
  ::unlink(to.c_str());  // if this fails too, both names stay: nothing is lost
  return error;
}

int linkAndUnlink(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return removeSourceOrUndo(from, to);
}

// Renames without ever replacing `to`, starting with the best way the folder may still allow; a
// way the file system turns down is given up for the folder. Returns 0 or the errno.
int renameNoReplace(const std::string& from, const std::string& to, Folder& folder,
                    const std::string& folderPath) {
  if (folder.way == NoReplaceWay::kRename) {
    const int error = renameWithoutReplacing(from, to);
    if (!unsupported(error)) return error;
    folder.way = NoReplaceWay::kLink;
  }
  if (folder.way == NoReplaceWay::kLink) {
    const int error = linkAndUnlink(from, to);
    if (!linkUnsupported(error)) return error;
    folder.way = NoReplaceWay::kClaimAndRename;
  }
  return claimAndRename(from, to, folder, folderPath);
}

// ---- Copying data

// Copies the data of `from` to `to`, leaving its holes as holes, and proves the copy as long as
// the source's open found it: a read that ends early, or a hole map that contradicts the blocks
// the file holds, is an I/O error rather than the end. Returns 0 or the errno; EINTR when a stop
// was asked for meanwhile.
int copyData(int from, int to, const struct stat& st, std::string* buffer, StopRequests& stops) {
  const off_t size = st.st_size;
  buffer->resize(static_cast<std::size_t>(
      std::min<off_t>(std::max<off_t>(size, 1), static_cast<off_t>(kCopyBufferBytes))));
  for (off_t pos = 0; pos < size;) {
    off_t data = ::lseek(from, pos, SEEK_DATA);
    off_t hole = size;
    if (data < 0 && errno == ENXIO) {  // nothing but a hole from here to the end
      if (pos == 0 && st.st_blocks > 0) return EIO;
      break;
    }
    if (data < 0) {
      data = pos;  // a file system that cannot tell: all of it is data
    } else {
      hole = ::lseek(from, data, SEEK_HOLE);
      if (hole < 0 || hole > size) hole = size;
    }
    for (off_t at = data; at < hole;) {
      if (stops.requested()) return EINTR;
      const std::size_t want =
          static_cast<std::size_t>(std::min<off_t>(hole - at, static_cast<off_t>(buffer->size())));
      const ssize_t n = ::pread(from, &(*buffer)[0], want, at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      if (n == 0) return kSourceNotAsRead;  // the file ended before its length: cut meanwhile
      for (ssize_t done = 0; done < n;) {
        const ssize_t w =
            ::pwrite(to, buffer->data() + done, static_cast<std::size_t>(n - done), at + done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return errno;
        if (w == 0) return ENOSPC;
        done += w;
      }
      at += n;
    }
    pos = hole;
  }
  return ::ftruncate(to, size) == 0 ? 0 : errno;  // the length, and a hole at the end
}

// 0 when the copy begins with the header its name was made from; kSourceNotAsRead otherwise.
int checkBeginsWith(int copy, std::string_view header) {
  std::string start(header.size(), '\0');
  std::size_t got = 0;
  while (got < start.size()) {
    const ssize_t n = ::pread(copy, &start[got], start.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got == start.size() && start == header ? 0 : kSourceNotAsRead;
}

// 0 when the files open as `a` and `b` hold the same `size` bytes, kSourceNotAsRead where they
// differ, or the errno of a read.
int sameBytes(int a, int b, off_t size, std::string* bufferA, std::string* bufferB) {
  const std::size_t chunk =
      std::min<off_t>(std::max<off_t>(size, 1), static_cast<off_t>(kCopyBufferBytes));
  bufferA->resize(chunk);
  bufferB->resize(chunk);
  for (off_t at = 0; at < size;) {
    const std::size_t want = static_cast<std::size_t>(std::min<off_t>(size - at, chunk));
    for (auto [fd, buffer] : {std::pair{a, bufferA}, std::pair{b, bufferB}}) {
      for (std::size_t got = 0; got < want;) {
        const ssize_t n = ::pread(fd, &(*buffer)[got], want - got, at + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return kSourceNotAsRead;
        got += static_cast<std::size_t>(n);
      }
    }
    if (::memcmp(bufferA->data(), bufferB->data(), want) != 0) return kSourceNotAsRead;
    at += static_cast<off_t>(want);
  }
  return 0;
}

// The extended attributes of `from` on `to`, as far as `to` can hold them: as with mv, what the
// target cannot hold is skipped; any other failure is returned.
int copyExtendedAttributes(int from, int to) {
  std::string names;
  for (int attempt = 0;; ++attempt) {  // the list may grow between the two calls
    ssize_t size = listAttributes(from, nullptr, 0);
    if (size < 0) return attributeNotHeld(errno) ? 0 : errno;
    if (size == 0) return 0;
    names.assign(static_cast<std::size_t>(size), '\0');
    size = listAttributes(from, &names[0], names.size());
    if (size >= 0) {
      names.resize(static_cast<std::size_t>(size));
      break;
    }
    if (errno != ERANGE || attempt == 2) return errno;
  }
  std::string value;
  for (std::size_t at = 0; at < names.size();) {
    const std::size_t end = names.find('\0', at);
    const std::string name = names.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? names.size() : end + 1;
    ssize_t size = readAttribute(from, name.c_str(), nullptr, 0);
    if (size >= 0) {
      value.assign(static_cast<std::size_t>(size), '\0');
      size = readAttribute(from, name.c_str(), &value[0], value.size());
    }
    if (size < 0) {
      if (errno == ENODATA || attributeNotHeld(errno)) continue;  // gone meanwhile, or private
      return errno;
    }
    if (writeAttribute(to, name.c_str(), value.data(), static_cast<std::size_t>(size)) != 0 &&
        !attributeNotHeld(errno)) {
      return errno;
    }
  }
  return 0;
}

// What mv keeps of a file it copies: owner and group where the process may set them (or else
// the group alone), extended attributes, permission bits (without set-user-ID and set-group-ID
// when the owner could not be kept), and the access and modification times. What the target's
// file system cannot hold is skipped; any other failure is returned.
int keepAttributes(int from, int to, const struct stat& st) {
  mode_t mode = st.st_mode & 07777;
  if (::fchown(to, st.st_uid, st.st_gid) != 0) {
    if (!attributeNotHeld(errno) && errno != EINVAL) return errno;
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    (void)!::fchown(to, static_cast<uid_t>(-1), st.st_gid);
  }
  if (int error = copyExtendedAttributes(from, to)) return error;
  if (::fchmod(to, mode) != 0 && !attributeNotHeld(errno)) return errno;
  if (::futimens(to, timesOf(st).times) != 0 && !attributeNotHeld(errno)) return errno;
  return 0;
}

// ---- Flushes

// Fsyncs `folder`: 0 or the error; -1 where it cannot be opened for reading (write and search
// rights only) or its file system fsyncs no folders.
int fsyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return -1;
  if (::fsync(dir.get()) == 0) return 0;
  return unsupported(errno) ? -1 : errno;
}

// Puts a folder's entries on disk: its own fsync, or where that cannot be had, a sync of the
// file system `onIt` lies on.
int syncFolder(const std::string& folder, int onIt) {
  const int error = fsyncFolder(folder);
  if (error >= 0) return error;
  if (onIt >= 0) return syncFileSystem(onIt);
  ::sync();  // nothing open on that file system to name it by
  return 0;
}

// Puts a FUSE folder's files on disk by a call its daemon hears: the folder's fsync, which
// exfat-fuse and ntfs-3g turn into a flush of the device, or the fsync of a copy in it.
int flushThroughFuse(const std::string& folder, int copy) {
  const int error = fsyncFolder(folder);
  if (error >= 0) return error;
  return ::fsync(copy) == 0 ? 0 : errno;
}

// ---- A replay at its turn

class PosixFileSystem;

// A replay at its turn: its path, checked with one stat; renamed by that path.
class PosixMovingReplay : public MovingReplay {
 public:
  PosixMovingReplay(PosixFileSystem& fs, std::string path, const FileStamp& read)
      : fs_(fs), path_(std::move(path)), read_(read) {
    struct stat st;
    if (::fstatat(AT_FDCWD, path_.c_str(), &st, 0) != 0) {
      other_ = errno != ENOENT && errno != ENOTDIR;
    } else {
      other_ = !S_ISREG(st.st_mode) || !isFileRead(read_, stampOf(st));
    }
  }
  bool namesAnotherFile() const override { return other_; }
  RenameResult rename(const std::string& to) override;
  std::unique_ptr<StagedCopy> stageCopy(const std::string& to, std::string_view header,
                                        StopRequests& stops, MoveResult* result) override;

 private:
  PosixFileSystem& fs_;
  const std::string path_;
  const FileStamp read_;
  bool other_ = false;
};

// ---- Copies

// The buffers a copy reads through, the file system's own, as one copy is made or settled at a
// time: the data copied, and the copy's bytes compared with its source's.
struct CopyBuffers {
  std::string data;
  std::string check;
};

class PosixCopy;
// The copies in hand, in the order they were staged.
using CopiesInHand = std::vector<PosixCopy*>;

// One replay's copy in the folder of its new name, and its source, held open and locked
// against other runs until the copy is settled; one of the copies in hand meanwhile.
class PosixCopy : public StagedCopy {
 public:
  PosixCopy(std::string from, std::string folderPath, Folder& folder, CopyBuffers& buffers,
            CopiesInHand& inHand)
      : from_(std::move(from)),
        folderPath_(std::move(folderPath)),
        folder_(folder),
        buffers_(buffers),
        inHand_(inHand) {
    inHand_.push_back(this);
  }
  PosixCopy(const PosixCopy&) = delete;
  PosixCopy& operator=(const PosixCopy&) = delete;

  // A copy whose move did not finish goes: under its new name only while that is still the copy.
  ~PosixCopy() override {
    inHand_.erase(std::find(inHand_.begin(), inHand_.end(), this));
    if (kept_) return;
    if (!named_.empty()) {
      struct stat mine = copyStat_;
      struct stat there;
      if ((!copy_ || ::fstat(copy_.get(), &mine) == 0) && ::lstat(named_.c_str(), &there) == 0 &&
          sameFile(there, mine)) {
        ::unlink(named_.c_str());  // if this fails, both stay: nothing is lost
      }
    } else if (!hidden_.empty()) {
      ::unlink(hidden_.c_str());
    }
  }

  uint64_t size() const override { return static_cast<uint64_t>(sourceStat_.st_size); }

  MoveResult name(const std::string& to) override {
    const int error = nameAs(to);
    if (error != 0) return moveFailureOfErrno(error);
    named_ = to;
    hidden_.clear();
    return MoveResult();
  }

  MoveResult removeSource() override {
    if (copy_) {
      if (const int error = proveCopy()) return moveFailureOfErrno(error);
      // The copy closed first: a write error it reports only now fails the move.
      if (const int error = copy_.reset()) return moveFailureOfErrno(error);
    }
    // Another file may be renamed onto the path between this look and the unlink, as with mv:
    // no call removes a name only while it names a given file.
    struct stat now;
    if (::lstat(from_.c_str(), &now) != 0) return sourceGone(errno);
    if (!sameFile(now, sourceStat_)) return sourceGone(ENOENT);  // another file took the path
    if (!unchanged(now, sourceStat_)) return MoveResult{MoveError::kSourceChanged, {}};
    if (::unlink(from_.c_str()) != 0) return sourceGone(errno);
    kept_ = true;
    return MoveResult();
  }

  // Opens and holds the source, and copies it into a new file of the target's folder; 0 or the
  // errno, or kSourceChanged where the path names another file than the one `read` found.
  MoveResult stage(const FileStamp& read, std::string_view header, StopRequests& stops) {
    source_ = openForReading(from_, O_NOFOLLOW);  // a link fails with ELOOP
    if (!source_) return errno == ELOOP ? stageLink() : moveFailureOfErrno(errno);
    if (const int error = holdAgainstOtherRuns(source_.get())) return moveFailureOfErrno(error);
    // Taken once the source is held: no other run can change what it finds from here on.
    if (::fstat(source_.get(), &sourceStat_) != 0) return moveFailureOfErrno(errno);
    if (!S_ISREG(sourceStat_.st_mode)) return moveFailureOfErrno(EINVAL);
    // Removed by another run meanwhile.
    if (sourceStat_.st_nlink == 0) return moveFailureOfErrno(ENOENT);
    if (!isFileRead(read, stampOf(sourceStat_))) return MoveResult{MoveError::kSourceChanged, {}};
    if (int error = probeForWriters(source_.get())) return moveFailureOfErrno(error);
    if (int error = createCopy()) return moveFailureOfErrno(error);
    if (!folder_.fuse) folder_.fuse = onFuse(copy_.get());
    int error = copyData(source_.get(), copy_.get(), sourceStat_, &buffers_.data, stops);
    if (error == 0) error = checkBeginsWith(copy_.get(), header);
    if (error == 0) error = keepAttributes(source_.get(), copy_.get(), sourceStat_);
    return error == 0 ? MoveResult() : moveFailureOfErrno(error);
  }

  int copyFd() const { return copy_.get(); }
  const std::string& folderPath() const { return folderPath_; }
  const Folder& folder() const { return folder_; }
  bool named() const { return !named_.empty(); }

 private:
  // 0 when the copy is still under its new name and holds what its source holds now, which no
  // other program has open for writing: the last look before the source goes. Where the copy
  // lost its name meanwhile, ENOENT or EEXIST as its name is now free or another file's.
  int proveCopy() {
    struct stat there;
    if (::fstat(copy_.get(), &copyStat_) != 0) return errno;
    if (::lstat(named_.c_str(), &there) != 0) return errno;
    if (!sameFile(there, copyStat_)) return EEXIST;
    if (int error = probeForWriters(source_.get())) return error;
    return sameBytes(source_.get(), copy_.get(), sourceStat_.st_size, &buffers_.data,
                     &buffers_.check);
  }

  // A symbolic link moves as itself: made under its new name from what it holds.
  MoveResult stageLink() {
    isLink_ = true;
    if (::lstat(from_.c_str(), &sourceStat_) != 0) return moveFailureOfErrno(errno);
    return readLink(from_, &linkText_) ? MoveResult() : moveFailureOfErrno(errno);
  }

  // A file for the copy in its folder: an O_TMPFILE one where the file system has them, so that
  // nothing is left if the run dies; elsewhere a hidden one that no run takes for a replay.
  int createCopy() {
    if (folder_.nameless && namelessFilesCanBeNamed()) {
      copy_ = Fd(openNameless(folderPath_));
      if (copy_) return 0;
      if (!unsupported(errno) && errno != EISDIR) return errno;
      folder_.nameless = false;
    }
    std::string hidden = pathInFolder(folderPath_, ".reprename-XXXXXX", PathStyle::kPosix);
    copy_ = Fd(::mkostemp(&hidden[0], O_CLOEXEC));
    if (!copy_) return errno;
    hidden_ = std::move(hidden);
    return 0;
  }

  // Gives the copy the name `to`, never replacing anything there. Returns 0 or the errno.
  int nameAs(const std::string& to) {
    if (isLink_) {
      if (::symlink(linkText_.c_str(), to.c_str()) != 0) return errno;
      const struct stat& st = sourceStat_;
      (void)!::fchownat(AT_FDCWD, to.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
      ::utimensat(AT_FDCWD, to.c_str(), timesOf(st).times, AT_SYMLINK_NOFOLLOW);
      if (::lstat(to.c_str(), &copyStat_) == 0) return 0;
      const int error = errno;
      ::unlink(to.c_str());  // the link just made: a name that failed leaves nothing there
      return error;
    }
    if (hidden_.empty()) return nameNameless(copy_.get(), to);
    return renameNoReplace(hidden_, to, folder_, folderPath_);
  }

  // Where the source's path no longer names the file copied (gone, or another file put there):
  // a file with no name left has its copy as its only one, which is kept, and whatever took its
  // path stays; one that lives on under another name is no longer this move's to make.
  MoveResult sourceGone(int error) {
    if (error != ENOENT) return moveFailureOfErrno(error);
    struct stat held;
    const bool unnamed = isLink_ || (::fstat(source_.get(), &held) == 0 && held.st_nlink == 0);
    if (!unnamed) return MoveResult{MoveError::kSourceChanged, {}};
    kept_ = true;
    return MoveResult();
  }

  const std::string from_;
  const std::string folderPath_;  // where the copy lies
  Folder& folder_;
  CopyBuffers& buffers_;
  CopiesInHand& inHand_;
  Fd source_;  // held, and locked, until the copy is settled
  struct stat sourceStat_ {};
  Fd copy_;
  struct stat copyStat_ {};  // the copy's own identity, once it has a name to lose
  std::string hidden_;       // the copy's own name, where it needs one, until it takes its target's
  std::string named_;        // the target's name, once it took it
  bool isLink_ = false;
  std::string linkText_;
  bool kept_ = false;  // its move finished: the copy stays
};

// ---- The file system

class PosixFileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit,
                        const std::optional<FileStamp>&) override {
    ReadResult result;
    struct stat st;
    bool isFolder = false;
    Fd fd = openRegularFile(path, &st, &isFolder);
    if (!fd) {
      if (isFolder) result.status = ReadStatus::kFolder;
      return result;
    }
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      ssize_t n = ::read(fd.get(), &result.bytes[got], limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result.bytes.clear();
        return result;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    fd.reset();
    result.bytes.resize(got);
    result.status = ReadStatus::kOk;
    result.stamp = stampOf(st);
    return result;
  }

  std::optional<std::vector<FolderEntry>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (dir == nullptr) return std::nullopt;
    std::vector<FolderEntry> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) break;
      if (!wanted(entry->d_name)) continue;
      bool regular = entry->d_type == DT_REG;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        struct stat st;  // a link counts as what it points to
        regular = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
      }
      if (regular) names.push_back({entry->d_name, std::nullopt});
    }
    if (errno != 0) return std::nullopt;
    return names;
  }

  bool isTaken(const std::string& path) override {
    struct stat st;
    return static_cast<bool>(openRegularFile(path, &st));
  }

  bool isFolder(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::unique_ptr<MovingReplay> openForMove(const std::string& path,
                                            const FileStamp& read) override {
    return std::make_unique<PosixMovingReplay>(*this, path, read);
  }

  // Learned once per destination folder, which lies on one file system: an ordinary one costs
  // one rename a replay, one without a no-replace rename or hard links no more tries.
  RenameResult rename(const std::string& from, const std::string& to) {
    const std::string folderPath = folderOf(to);
    const int error = renameNoReplace(from, to, folderAt(folderPath), folderPath);
    if (error == EXDEV) return {Renamed::kAnotherFileSystem, {}};
    if (error != 0) return {Renamed::kFailed, moveFailureOfErrno(error)};
    return {};
  }

  std::unique_ptr<StagedCopy> stageCopy(const std::string& from, const FileStamp& read,
                                        const std::string& to, std::string_view header,
                                        StopRequests& stops, MoveResult* result) {
    const std::string folderPath = folderOf(to);
    auto copy =
        std::make_unique<PosixCopy>(from, folderPath, folderAt(folderPath), buffers_, inHand_);
    *result = copy->stage(read, header, stops);
    if (!result->ok()) copy.reset();  // what it wrote goes at once
    return copy;
  }

  // One sync of each file system the copies lie on; on FUSE, whose daemon hears no syncfs, an
  // fsync of each folder, which it turns into a flush of its device.
  MoveResult flushCopies() override {
    std::unordered_set<dev_t> synced;
    std::unordered_set<std::string> folders;
    int error = 0;
    for (const PosixCopy* each : inHand_) {
      const PosixCopy& copy = *each;
      struct stat st;
      if (copy.copyFd() < 0) continue;  // a link: nothing written until it is named
      int failed = 0;
      if (copy.folder().fuse.value_or(false)) {
        if (folders.insert(copy.folderPath()).second) {
          failed = flushThroughFuse(copy.folderPath(), copy.copyFd());
        }
      } else if (::fstat(copy.copyFd(), &st) != 0) {
        failed = errno;
      } else if (synced.insert(st.st_dev).second) {
        failed = syncFileSystem(copy.copyFd());
      }
      if (error == 0) error = failed;
    }
    return error == 0 ? MoveResult() : moveFailureOfErrno(error);
  }

  // One fsync of each folder that holds a new name.
  MoveResult flushNames() override {
    std::unordered_set<std::string> folders;
    int error = 0;
    for (const PosixCopy* each : inHand_) {
      const PosixCopy& copy = *each;
      if (!copy.named() || !folders.insert(copy.folderPath()).second) continue;
      const int failed = syncFolder(copy.folderPath(), copy.copyFd());
      if (error == 0) error = failed;
    }
    return error == 0 ? MoveResult() : moveFailureOfErrno(error);
  }

 private:
  Folder& folderAt(const std::string& path) { return folders_.try_emplace(path).first->second; }

  std::unordered_map<std::string, Folder> folders_;  // references stay valid as it grows
  CopyBuffers buffers_;
  CopiesInHand inHand_;
};

RenameResult PosixMovingReplay::rename(const std::string& to) { return fs_.rename(path_, to); }

std::unique_ptr<StagedCopy> PosixMovingReplay::stageCopy(const std::string& to,
                                                         std::string_view header,
                                                         StopRequests& stops, MoveResult* result) {
  return fs_.stageCopy(path_, read_, to, header, stops, result);
}

}  // namespace

// Also ignores SIGIO, which a lease taken to probe a replay for writers sends if another program
// opens it for writing in the moment the lease is held: nothing else here asks for it.
std::unique_ptr<FileSystem> makeSystemFileSystem() {
  ::signal(SIGIO, SIG_IGN);
  return std::make_unique<PosixFileSystem>();
}
