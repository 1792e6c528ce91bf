#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/handle_win32.h"
#include "platform/stop_requests.h"
#include "platform/system_calls_win32.h"
#include "platform/wide_win32.h"
#include "portable/path_style.h"
#include "portable/windows_errors.h"
#include "portable/windows_names.h"
#include "portable/windows_paths.h"

// The file system on Windows. Its divisions, in the order the Linux one has them too (every call
// to the system goes through the table of system_calls_win32.h):
//   Paths                 the system's form of a path, a folder to open
//   What a file tells     which file a handle holds, and what it is
//   Errors                the errors waited out, and a copy's own
//   Renames and removals  a name taken without replacing anything, a file deleted
//   Copying data          a copy's bytes, proven
//   Flushes               data and names put on disk
//   A replay at its turn  opened for its move: renamed, or staging its own copy
//   Copies                a copy in its target's folder until its move is settled
//   The file system       what the driver is given

namespace {

// ---- Paths

// The process's current folder, which does not change while it runs.
const std::string& currentFolder() {
  static const std::string folder = [] {
    std::wstring wide(MAX_PATH, L'\0');
    DWORD length = win32.GetCurrentDirectoryW(static_cast<DWORD>(wide.size()), &wide[0]);
    if (length >= wide.size()) {
      wide.assign(length, L'\0');
      length = win32.GetCurrentDirectoryW(length, &wide[0]);
    }
    wide.resize(length < wide.size() ? length : 0);
    return narrow(wide);
  }();
  return folder;
}

// The current folder of drive `drive` ("Z:"), which Windows keeps for each drive.
std::string driveFolder(std::string_view drive) {
  const std::wstring name = widen(drive);
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = win32.GetFullPathNameW(name.c_str(), MAX_PATH, &full[0], nullptr);
  if (length >= MAX_PATH) {
    full.assign(length, L'\0');
    length = win32.GetFullPathNameW(name.c_str(), length, &full[0], nullptr);
  }
  full.resize(length < full.size() ? length : 0);
  return full.empty() ? std::string(drive) + "\\" : narrow(full);
}

// The name the system is given for `path`: the \\?\ form of its full path, which has no length
// limit and names exactly what the path spells, "rr." and "rr " and AUX.rep included. Relative
// paths are taken from the current folder (of the drive, for Z:name); '/' separates, "." and
// ".." are resolved, in a path given in \\?\ form too (a typed destination, and the name a format
// made below it). A device's \\.\ path is used as it is.
std::wstring systemPath(std::string_view path) {
  const WindowsPathStart start = splitWindowsPath(path);
  std::string folder;
  switch (start.root) {
    case WindowsPathRoot::kExtended:
      return widen(path[2] == '?' ? extendedWindowsPath(path, "") : std::string(path));
    case WindowsPathRoot::kUnc:
    case WindowsPathRoot::kDrive:
      folder = std::string(start.base);
      break;
    case WindowsPathRoot::kDriveRelative:
      folder = driveFolder(start.base);
      break;
    case WindowsPathRoot::kRooted:
      folder = std::string(splitWindowsPath(currentFolder()).base);
      break;
    case WindowsPathRoot::kRelative:
      folder = currentFolder();
      break;
  }
  return widen(extendedWindowsPath(folder, start.rest));
}

// The system's name for `folder`, the folder part of a path: the current folder for none.
std::wstring systemFolderPath(const std::string& folder) {
  return systemPath(folder.empty() ? "." : folder);
}

// ---- What a file tells

// What a handle's listings (a folder's entries, a file's streams) are read into: 64 KiB, aligned
// as the entries need.
constexpr std::size_t kInfoBufferWords = 8192;

FileStamp stampOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStamp stamp;
  stamp.volume = info.dwVolumeSerialNumber;
  stamp.fileId = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  stamp.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  stamp.written =
      (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  return stamp;
}

// What NtQueryInformationFile's FileAllInformation tells of an open file, the volume aside (which
// the handle's folder tells): its ID, size, times and attributes. GetFileInformationByHandle asks
// the same and the volume too, in two.
struct OpenFileInfo {
  FileStamp stamp;
  DWORD attributes = 0;
  FILE_BASIC_INFO basic = {};  // times, the change time included, and attributes
};
bool infoOf(HANDLE file, uint64_t volume, OpenFileInfo* info) {
  FILE_ALL_INFORMATION all;
  IO_STATUS_BLOCK status;
  // The name at its end does not fit, which leaves the rest filled in.
  const NTSTATUS result =
      win32.NtQueryInformationFile(file, &status, &all, sizeof all, FileAllInformation);
  if (result < 0 && result != static_cast<NTSTATUS>(0x80000005)) return false;  // BUFFER_OVERFLOW
  info->stamp.volume = volume;
  info->stamp.fileId = static_cast<uint64_t>(all.InternalInformation.IndexNumber.QuadPart);
  info->stamp.size = static_cast<uint64_t>(all.StandardInformation.EndOfFile.QuadPart);
  info->stamp.written = static_cast<uint64_t>(all.BasicInformation.LastWriteTime.QuadPart);
  info->attributes = all.BasicInformation.FileAttributes;
  static_assert(sizeof info->basic == sizeof all.BasicInformation);
  std::memcpy(&info->basic, &all.BasicInformation, sizeof info->basic);
  return true;
}

// The tag of a file that is a reparse point, opened as itself; 0 for any other file.
ULONG reparseTag(HANDLE file, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
  FILE_ATTRIBUTE_TAG_INFO tag;
  return win32.GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)
             ? tag.ReparseTag
             : 0;
}

// True for a reparse point that stands for another file (a symbolic link), which moves as itself.
bool isLink(HANDLE file, DWORD attributes) {
  const ULONG tag = reparseTag(file, attributes);
  return tag != 0 && IsReparseTagNameSurrogate(tag);
}

// What `path` leads to, followed through links: a file's information, or nothing.
std::optional<BY_HANDLE_FILE_INFORMATION> fileBehind(const std::wstring& path) {
  const Handle file(win32.CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !win32.GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return info;
}

// ---- Errors

bool isLockError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// What a copy's own proof reports, beside the system's errors: its source is not the file read
// (it ended before its length, or begins otherwise). Bit 29 marks an application's own code.
constexpr DWORD kSourceNotAsRead = 0x20000001;

// Antivirus, indexing and cloud sync hold a file they have just seen for a moment. An open for a
// move they refuse is tried again after these pauses, about two seconds in all.
constexpr DWORD kLockPausesMs[] = {100, 200, 300, 600, 800};

// ---- Renames and removals

// Device names count as taken; a name past the system's limit is too long.
DWORD refusedName(const std::string& to) {
  const std::string_view name = fileNamePart(to, PathStyle::kWindows);
  if (isWindowsDeviceName(name)) return ERROR_FILE_EXISTS;
  if (isWindowsNameTooLong(name)) return ERROR_FILENAME_EXCED_RANGE;
  return 0;
}

// Renames the file open as `file` to `to`, never replacing anything there; 0 or the error.
DWORD renameOpenFile(HANDLE file, const std::string& to) {
  if (DWORD refused = refusedName(to)) return refused;
  const std::wstring name = widen(nativeWindowsPath(narrow(systemPath(to))));
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  return win32.SetFileInformationByHandle(file, FileRenameInfo, rename,
                                          static_cast<DWORD>(buffer.size()))
             ? 0
             : GetLastError();
}

// Marks the file open as `file` for deletion, read-only or not. Where the system deletes with
// POSIX semantics (Windows 10 on, NTFS), its name goes as this handle closes, whoever else has
// it open; elsewhere as the last handle closes, a read-only file losing the attribute first (and
// getting it back if it stays). Returns 0 or the error.
DWORD deleteOpenFile(HANDLE file, DWORD attributes) {
  // FileDispositionInfoEx and its flags DELETE, POSIX_SEMANTICS and IGNORE_READONLY_ATTRIBUTE,
  // as Windows 10 has them; this exe is built for Windows 7 on.
  constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  constexpr DWORD kPosixDelete = 0x1 | 0x2 | 0x10;
  static bool posixDeletes = true;  // until the system or a volume turns them down
  if (posixDeletes) {
    DWORD posix = kPosixDelete;  // a FILE_DISPOSITION_INFO_EX
    if (win32.SetFileInformationByHandle(file, kDispositionInfoEx, &posix, sizeof posix)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_FUNCTION && error != ERROR_CALL_NOT_IMPLEMENTED) {
      return error;
    }
    posixDeletes = false;
  }
  FILE_BASIC_INFO basic = {};
  const bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
  if (readOnly) {
    basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    if (!win32.SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic)) {
      return GetLastError();
    }
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (win32.SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                       sizeof disposition)) {
    return 0;
  }
  const DWORD error = GetLastError();
  if (readOnly) {
    basic.FileAttributes = attributes;
    win32.SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  }
  return error;
}

// ---- Copying data

// Copies `size` bytes from the start of `from`, which begin with `header`: a source that ends
// early, or begins otherwise, is not the file read (kSourceNotAsRead). What is written is what
// was read, so the bytes read are the proof. A stop request, where `stops` are asked, abandons
// the copy.
DWORD copyData(HANDLE from, HANDLE to, uint64_t size, StopRequests* stops,
               std::string_view header = {}) {
  if (size < header.size()) return kSourceNotAsRead;
  std::vector<char> buffer(
      static_cast<std::size_t>(std::min<uint64_t>(size + 1, kCopyBufferBytes)));
  for (uint64_t done = 0; done < size;) {
    if (stops != nullptr && stops->requested()) return ERROR_OPERATION_ABORTED;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(size - done, buffer.size()));
    DWORD got = 0;
    if (!win32.ReadFile(from, buffer.data(), want, &got, nullptr)) return GetLastError();
    if (got == 0) return kSourceNotAsRead;
    if (done < header.size()) {
      const std::size_t part = std::min<std::size_t>(got, header.size() - done);
      if (header.substr(done, part) != std::string_view(buffer.data(), part)) {
        return kSourceNotAsRead;
      }
    }
    DWORD written = 0;
    if (!win32.WriteFile(to, buffer.data(), got, &written, nullptr)) return GetLastError();
    if (written != got) return ERROR_DISK_FULL;
    done += got;
  }
  return 0;
}

// ---- Flushes

// Writes a file's data and metadata to the disk, without flushing the disk's cache where the
// system can (a later flush does that): NtFlushBuffersFileEx's "no sync" (Windows 8 on), so that a
// group's copies cost one flush of the disk's cache, not one each. Returns 0 or the error.
DWORD writeOut(HANDLE file) {
  constexpr ULONG kNoSync = 0x00000004;  // FLUSH_FLAGS_NO_SYNC
  IO_STATUS_BLOCK status = {};
  const NTSTATUS result = win32.NtFlushBuffersFileEx(file, kNoSync, nullptr, 0, &status);
  if (result >= 0) return 0;
  const DWORD error = win32.RtlNtStatusToDosError(result);
  if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
      error != ERROR_INVALID_FUNCTION) {
    return error;
  }
  return win32.FlushFileBuffers(file) ? 0 : GetLastError();
}

// ---- A replay at its turn

// How a replay is opened for its move: to be read (for a copy), renamed and deleted, letting
// others only read it meanwhile. `flags` are FILE_FLAG_OPEN_REPARSE_POINT for the file itself
// (a link as a link), or 0 for what a filter shows of it.
Handle openToMove(const std::wstring& name, DWORD flags) {
  return Handle(win32.CreateFileW(name.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

class Win32Copy;
// The copies in hand, in the order they were staged.
using CopiesInHand = std::vector<Win32Copy*>;

// A replay as it was opened for its move: its path, the handle held (or why none is), and what
// the handle found.
struct HeldReplay {
  std::string path;
  Handle file;
  DWORD openError = 0;
  OpenFileInfo info;  // the file itself, a link as itself
  bool link = false;
};

// Opened once, for its move, with the rights to read and delete it and without letting others
// write or delete it meanwhile; checked and renamed through that one handle.
class Win32MovingReplay : public MovingReplay {
 public:
  Win32MovingReplay(std::string path, Handle file, DWORD openError, CopiesInHand& inHand)
      : held_{std::move(path), std::move(file), openError, {}, false}, inHand_(inHand) {}

  // Compares what the handle found, on the volume of its folder, with the read; a link is known
  // by what it leads to. A file whose data a filter keeps elsewhere (compressed by WOF,
  // deduplicated, a cloud placeholder) is opened again through the filter, so that a copy reads
  // its data, not its stub.
  void check(const FileStamp& read, uint64_t volume) {
    if (!held_.file) {
      const bool gone =
          held_.openError == ERROR_FILE_NOT_FOUND || held_.openError == ERROR_PATH_NOT_FOUND;
      other_ = !gone && !isLockError(held_.openError) && held_.openError != ERROR_ACCESS_DENIED;
      return;
    }
    if (!infoOf(held_.file.get(), volume, &held_.info)) {
      other_ = true;
      return;
    }
    const ULONG tag = reparseTag(held_.file.get(), held_.info.attributes);
    held_.link = tag != 0 && IsReparseTagNameSurrogate(tag);
    if (tag != 0 && !held_.link && !openThroughFilter(volume)) return;
    FileStamp behind = held_.info.stamp;
    if (held_.link) {
      const std::optional<BY_HANDLE_FILE_INFORMATION> target = fileBehind(systemPath(held_.path));
      if (!target) {
        other_ = true;
        return;
      }
      behind = stampOf(*target);
    }
    other_ = (held_.info.attributes & FILE_ATTRIBUTE_DIRECTORY) || !isFileRead(read, behind);
  }

  bool namesAnotherFile() const override { return other_; }

  RenameResult rename(const std::string& to) override {
    if (!held_.file) return {Renamed::kFailed, moveFailureOfWindowsError(held_.openError)};
    const DWORD error = renameOpenFile(held_.file.get(), to);
    if (error == ERROR_NOT_SAME_DEVICE) return {Renamed::kAnotherFileSystem, {}};
    if (error != 0) return {Renamed::kFailed, moveFailureOfWindowsError(error)};
    held_.file.reset();
    return {};
  }

  std::unique_ptr<StagedCopy> stageCopy(const std::string& to, std::string_view header,
                                        StopRequests& stops, MoveResult* result) override;

 private:
  // The file opened again without FILE_FLAG_OPEN_REPARSE_POINT (the handle held would refuse
  // that open), and known for the same file; false, with the open's error, where it is not.
  bool openThroughFilter(uint64_t volume) {
    held_.file.reset();
    held_.file = openToMove(systemPath(held_.path), 0);
    OpenFileInfo now;
    if (!held_.file) {
      held_.openError = GetLastError();
    } else if (!infoOf(held_.file.get(), volume, &now) ||
               now.stamp.fileId != held_.info.stamp.fileId) {
      held_.file.reset();
      other_ = true;
    }
    return static_cast<bool>(held_.file);
  }

  HeldReplay held_;
  CopiesInHand& inHand_;
  bool other_ = false;
};

// ---- Copies

// A copy in its target's folder, under a name of its own until it takes its target's, open
// without sharing; and its source, still held as it was opened for its move.
class Win32Copy : public StagedCopy {
 public:
  Win32Copy(HeldReplay source, const std::string& to, CopiesInHand& inHand)
      : source_(std::move(source)), folder_(folderPart(to, PathStyle::kWindows)), inHand_(inHand) {
    inHand_.push_back(this);
  }
  Win32Copy(const Win32Copy&) = delete;
  Win32Copy& operator=(const Win32Copy&) = delete;

  // A copy whose move did not finish goes, through its own handle: only what was made here.
  ~Win32Copy() override {
    inHand_.erase(std::find(inHand_.begin(), inHand_.end(), this));
    if (kept_) return;
    if (copy_) {
      deleteOpenFile(copy_.get(), copyAttributes_);
    } else if (!named_.empty() && source_.link) {
      const Handle link(
          win32.CreateFileW(systemPath(named_).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      BY_HANDLE_FILE_INFORMATION info;
      if (link && win32.GetFileInformationByHandle(link.get(), &info) &&
          isLink(link.get(), info.dwFileAttributes)) {
        deleteOpenFile(link.get(), info.dwFileAttributes);
      }
    }
  }

  uint64_t size() const override { return source_.info.stamp.size; }

  // The data, the named streams, the attributes and times of the source, proven as long as the
  // source and beginning with `header`; an encrypted source is copied only into an encrypted
  // copy, as CopyFileEx does. A link is made at its naming, as itself.
  DWORD stage(std::string_view header, StopRequests& stops) {
    if (source_.link) {
      source_.file.reset();  // copied as a link, by its path, which the holder would refuse
      return 0;
    }
    HANDLE from = source_.file.get();
    basic_ = source_.info.basic;
    if (DWORD error = createCopy()) return error;
    if (DWORD error = copyData(from, copy_.get(), size(), &stops, header)) return error;
    if (DWORD error = copyStreams(from)) return error;
    FILE_BASIC_INFO kept = basic_;
    kept.ChangeTime.QuadPart = 0;  // the system's own
    kept.FileAttributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (kept.FileAttributes == 0) kept.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!win32.SetFileInformationByHandle(copy_.get(), FileBasicInfo, &kept, sizeof kept)) {
      return GetLastError();
    }
    copyAttributes_ = kept.FileAttributes;
    return 0;
  }

  MoveResult name(const std::string& to) override {
    DWORD error = 0;
    if (source_.link) {
      error = refusedName(to);
      if (error == 0 &&
          !win32.CopyFileExW(systemPath(source_.path).c_str(), systemPath(to).c_str(), nullptr,
                             nullptr, nullptr, COPY_FILE_COPY_SYMLINK | COPY_FILE_FAIL_IF_EXISTS)) {
        error = GetLastError();
      }
    } else {
      error = renameOpenFile(copy_.get(), to);
    }
    if (error != 0) return moveFailureOfWindowsError(error);
    named_ = to;
    return MoveResult();
  }

  MoveResult removeSource() override {
    const MoveResult removed = source_.link ? removeLink() : removeFile();
    if (!removed.ok()) return removed;
    kept_ = true;
    source_.file.reset();  // the source goes as its handle closes
    copy_.reset();
    return MoveResult();
  }

  HANDLE copyHandle() const { return copy_.get(); }
  // The folder the copy lies in, which its name keeps it in.
  const std::string& folder() const { return folder_; }
  bool isLinkCopy() const { return source_.link; }
  bool named() const { return !named_.empty(); }

 private:
  // The copy's file, beside its target, that no other program may open while it is made:
  // encrypted where its source is, or not made at all.
  DWORD createCopy() {
    const bool encrypted = basic_.FileAttributes & FILE_ATTRIBUTE_ENCRYPTED;
    if (DWORD error = createIn(encrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL)) {
      return error;
    }
    FILE_BASIC_INFO made;
    if (encrypted &&
        (!win32.GetFileInformationByHandleEx(copy_.get(), FileBasicInfo, &made, sizeof made) ||
         !(made.FileAttributes & FILE_ATTRIBUTE_ENCRYPTED))) {
      return ERROR_ENCRYPTION_FAILED;  // the target's file system keeps no encrypted files
    }
    return 0;
  }

  DWORD createIn(DWORD attributes) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[64];
      std::snprintf(
          name, sizeof name, "reprename-copy-in-progress-%08lx%04x.tmp",
          static_cast<unsigned long>(win32.GetTickCount() ^ (win32.GetCurrentProcessId() << 12)),
          ++counter & 0xFFFF);
      copy_ = Handle(win32.CreateFileW(
          systemPath(folder_ + name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
          CREATE_NEW, attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      if (copy_) {
        ownName_ = folder_ + name;
        return 0;
      }
      if (GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
    }
    return ERROR_FILE_EXISTS;
  }

  // The source's named streams (a downloaded file's Zone.Identifier), as far as the target's
  // file system holds them: as with CopyFile, FAT and exFAT keep none.
  DWORD copyStreams(HANDLE from) {
    std::vector<uint64_t> buffer(kInfoBufferWords);
    if (!win32.GetFileInformationByHandleEx(from, FileStreamInfo, buffer.data(),
                                            static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
      const DWORD error = GetLastError();
      return error == ERROR_HANDLE_EOF || error == ERROR_INVALID_PARAMETER ||
                     error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED ||
                     error == ERROR_INVALID_FUNCTION
                 ? 0
                 : error;
    }
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* stream = reinterpret_cast<const FILE_STREAM_INFO*>(at);
      const std::wstring name(stream->StreamName, stream->StreamNameLength / sizeof(wchar_t));
      if (name != L"::$DATA") {
        if (DWORD error = copyStream(name, stream->StreamSize.QuadPart)) return error;
      }
      if (stream->NextEntryOffset == 0) break;
      at += stream->NextEntryOffset;
    }
    return 0;
  }

  DWORD copyStream(const std::wstring& name, int64_t size) {
    const Handle from(win32.CreateFileW((systemPath(source_.path) + name).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!from) return GetLastError();
    const Handle to(win32.CreateFileW((systemPath(ownName_) + name).c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, 0, nullptr));
    if (!to) {
      const DWORD error = GetLastError();
      const bool notHeld = error == ERROR_INVALID_NAME || error == ERROR_INVALID_PARAMETER ||
                           error == ERROR_NOT_SUPPORTED || error == ERROR_FILE_NOT_FOUND;
      return notHeld ? 0 : error;
    }
    return copyData(from.get(), to.get(), static_cast<uint64_t>(size), nullptr);  // small
  }

  // The source goes only while it is as it was when the copy began: no other program could write
  // or rename it through the handle held, and its times say nothing else did either.
  MoveResult removeFile() {
    FILE_BASIC_INFO now;
    HANDLE from = source_.file.get();
    if (!win32.GetFileInformationByHandleEx(from, FileBasicInfo, &now, sizeof now)) {
      return moveFailureOfWindowsError(GetLastError());
    }
    if (now.ChangeTime.QuadPart != basic_.ChangeTime.QuadPart ||
        now.LastWriteTime.QuadPart != basic_.LastWriteTime.QuadPart) {
      return MoveResult{MoveError::kSourceChanged, {}};
    }
    const DWORD error = deleteOpenFile(from, now.FileAttributes);
    return error == 0 ? MoveResult() : moveFailureOfWindowsError(error);
  }

  // A link goes only while its path names the link copied; one that is gone leaves the copy.
  MoveResult removeLink() {
    const Handle link(win32.CreateFileW(
        systemPath(source_.path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) {
      const DWORD error = GetLastError();
      const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      return gone ? MoveResult() : moveFailureOfWindowsError(error);
    }
    OpenFileInfo now;
    if (!infoOf(link.get(), source_.info.stamp.volume, &now)) {
      return MoveResult{MoveError::kSourceChanged, {}};
    }
    if (!(now.stamp == source_.info.stamp)) return MoveResult{MoveError::kSourceChanged, {}};
    const DWORD error = deleteOpenFile(link.get(), now.attributes);
    return error == 0 ? MoveResult() : moveFailureOfWindowsError(error);
  }

  HeldReplay source_;
  const std::string folder_;
  CopiesInHand& inHand_;
  FILE_BASIC_INFO basic_ = {};  // the source's, as the copy began
  Handle copy_;
  std::string ownName_;  // the copy's name until it takes its target's
  DWORD copyAttributes_ = 0;
  std::string named_;
  bool kept_ = false;
};

// ---- The file system

class Win32FileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit,
                        const std::optional<FileStamp>& known) override {
    ReadResult result;
    const std::wstring name = systemPath(path);
    const Handle file(win32.CreateFileW(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      // A folder does not open as a file; only then is it worth asking what it is.
      const DWORD attributes = win32.GetFileAttributesW(name.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.status = ReadStatus::kFolder;
      }
      return result;
    }
    if (known) {
      result.stamp = *known;
    } else {
      BY_HANDLE_FILE_INFORMATION info;  // a device (a \\.\ path) tells none
      if (!win32.GetFileInformationByHandle(file.get(), &info)) return result;
      result.stamp = stampOf(info);
    }
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      DWORD n = 0;
      if (!win32.ReadFile(file.get(), &result.bytes[got], static_cast<DWORD>(limit - got), &n,
                          nullptr)) {
        result.bytes.clear();
        return result;
      }
      if (n == 0) break;
      got += n;
    }
    result.bytes.resize(got);
    result.status = ReadStatus::kOk;
    return result;
  }

  // The folder's own listing tells each file's ID, size and time, so no read has to ask; the
  // volume is asked once. A link is followed to see that it leads to a file, and stamped by its
  // read.
  std::optional<std::vector<FolderEntry>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    const std::wstring path = systemPath(folder);
    const Handle dir(win32.CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!dir || !win32.GetFileInformationByHandle(dir.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    std::vector<uint64_t> buffer(kInfoBufferWords);
    while (
        win32.GetFileInformationByHandleEx(dir.get(), FileIdBothDirectoryInfo, buffer.data(),
                                           static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
      const char* at = reinterpret_cast<const char*>(buffer.data());
      for (;;) {
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          std::string name =
              narrow(std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
          if (wanted(name)) {
            std::optional<FileStamp> stamp;
            if (!(entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
              stamp = FileStamp{info.dwVolumeSerialNumber,
                                static_cast<uint64_t>(entry->FileId.QuadPart),
                                static_cast<uint64_t>(entry->EndOfFile.QuadPart),
                                static_cast<uint64_t>(entry->LastWriteTime.QuadPart)};
            }
            if (stamp || fileBehind(systemPath(pathInFolder(folder, name, PathStyle::kWindows)))) {
              entries.push_back({std::move(name), stamp});
            }
          }
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
      }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return entries;
  }

  // A device's name (CON, NUL, COM1) is taken, as it is on every Windows before 11.
  bool isTaken(const std::string& path) override {
    if (isWindowsDeviceName(fileNamePart(path, PathStyle::kWindows))) return true;
    return static_cast<bool>(
        Handle(win32.CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  }

  bool isFolder(const std::string& path) override {
    const DWORD attributes = win32.GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  // Opened as itself, a link as a link; a lock that another program holds for a moment is waited
  // for.
  std::unique_ptr<MovingReplay> openForMove(const std::string& path,
                                            const FileStamp& read) override {
    const std::wstring name = systemPath(path);
    Handle file;
    DWORD error = 0;
    for (std::size_t retries = 0;; ++retries) {
      file = openToMove(name, FILE_FLAG_OPEN_REPARSE_POINT);
      error = file ? 0 : GetLastError();
      if (!isLockError(error) || !retryLocks_) break;
      if (retries == std::size(kLockPausesMs)) {
        retryLocks_ = false;  // no passing lock: the rest of the run does not wait for one
        break;
      }
      win32.Sleep(kLockPausesMs[retries]);
    }
    auto moving = std::make_unique<Win32MovingReplay>(path, std::move(file), error, inHand_);
    const std::optional<FileStamp> folder = folderIdentity(path);
    moving->check(read, folder ? folder->volume : read.volume);
    return moving;
  }

  // Each copy's data and metadata written out; the disk's own cache flushed once per folder,
  // with the last copy there, where the system lets a flush leave it (Windows 8 on).
  MoveResult flushCopies() override {
    std::map<std::string, const Win32Copy*> lastIn;
    for (const Win32Copy* copy : inHand_) {
      if (!copy->isLinkCopy()) lastIn[copy->folder()] = copy;
    }
    for (const Win32Copy* copy : inHand_) {
      if (copy->isLinkCopy()) continue;
      const bool last = lastIn[copy->folder()] == copy;
      const DWORD error = last ? (win32.FlushFileBuffers(copy->copyHandle()) ? 0 : GetLastError())
                               : writeOut(copy->copyHandle());
      if (error != 0) return moveFailureOfWindowsError(error);
    }
    return MoveResult();
  }

  // Each folder that holds a new name flushed, as NTFS flushes a folder: its entries and the
  // disk's cache. Where a folder cannot be opened to be flushed, each new name's file is flushed
  // instead, which on NTFS puts its new name on disk with it.
  MoveResult flushNames() override {
    std::set<std::string> flushed;
    for (const Win32Copy* copy : inHand_) {
      const std::string& folder = copy->folder();
      if (!copy->named() || !flushed.insert(folder).second) continue;
      const DWORD error = flushFolder(folder);
      if (error == 0) continue;
      if (error != ERROR_ACCESS_DENIED && error != ERROR_INVALID_FUNCTION &&
          error != ERROR_NOT_SUPPORTED) {
        return moveFailureOfWindowsError(error);
      }
      for (const Win32Copy* each : inHand_) {
        if (!each->named() || each->isLinkCopy() || each->folder() != folder) continue;
        if (!win32.FlushFileBuffers(each->copyHandle()))
          return moveFailureOfWindowsError(GetLastError());
      }
    }
    return MoveResult();
  }

  // One file when the names are one for NTFS (in any letter case) and their folders are one
  // folder, however spelled: another drive letter for it (subst), its 8.3 name, its \\?\ form.
  bool samePath(const std::string& a, const std::string& b) override {
    if (nameKey(fileNamePart(a, PathStyle::kWindows)) !=
        nameKey(fileNamePart(b, PathStyle::kWindows))) {
      return false;
    }
    const std::optional<FileStamp> folderA = folderIdentity(a);
    const std::optional<FileStamp> folderB = folderIdentity(b);
    if (folderA && folderB) return *folderA == *folderB;
    const std::wstring fullA = systemPath(folderPart(a, PathStyle::kWindows));
    const std::wstring fullB = systemPath(folderPart(b, PathStyle::kWindows));
    return win32.CompareStringOrdinal(fullA.data(), static_cast<int>(fullA.size()), fullB.data(),
                                      static_cast<int>(fullB.size()), TRUE) == CSTR_EQUAL;
  }

  // Upper case by the invariant locale's simple mapping, as NTFS's own table folds names, and
  // whatever the user's language is.
  std::string nameKey(std::string_view fileName) override {
    const std::wstring name = widen(fileName);
    if (name.empty()) return std::string();
    std::wstring upper(name.size(), L'\0');
    const int length = win32.LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                                           static_cast<int>(name.size()), &upper[0],
                                           static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (length <= 0) return narrow(name);
    upper.resize(static_cast<std::size_t>(length));
    return narrow(upper);
  }

 private:
  // The volume and file ID of the folder `path` lies in, asked once per folder.
  std::optional<FileStamp> folderIdentity(const std::string& path) {
    const std::string folder(folderPart(path, PathStyle::kWindows));
    auto known = folders_.find(folder);
    if (known != folders_.end()) return known->second;
    std::optional<FileStamp> identity;
    const Handle dir(win32.CreateFileW(
        systemFolderPath(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (dir && win32.GetFileInformationByHandle(dir.get(), &info)) identity = stampOf(info);
    if (identity) identity->size = identity->written = 0;  // a folder's change with its files
    folders_.emplace(folder, identity);
    return identity;
  }

  // A folder's entries and the disk's cache flushed, by a handle kept for the run.
  DWORD flushFolder(const std::string& folder) {
    auto open = openFolders_.find(folder);
    if (open == openFolders_.end()) {
      Handle dir(win32.CreateFileW(systemFolderPath(folder).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!dir) return GetLastError();
      open = openFolders_.emplace(folder, std::move(dir)).first;
    }
    return win32.FlushFileBuffers(open->second.get()) ? 0 : GetLastError();
  }

  bool retryLocks_ = true;
  std::map<std::string, std::optional<FileStamp>> folders_;
  std::map<std::string, Handle> openFolders_;
  CopiesInHand inHand_;
};

std::unique_ptr<StagedCopy> Win32MovingReplay::stageCopy(const std::string& to,
                                                         std::string_view header,
                                                         StopRequests& stops, MoveResult* result) {
  if (!held_.file) {
    *result = moveFailureOfWindowsError(held_.openError);
    return nullptr;
  }
  auto copy = std::make_unique<Win32Copy>(std::move(held_), to, inHand_);
  const DWORD error = copy->stage(header, stops);
  *result = error == kSourceNotAsRead ? MoveResult{MoveError::kSourceChanged, {}}
            : error == 0              ? MoveResult()
                                      : moveFailureOfWindowsError(error);
  if (error != 0) copy.reset();  // what it wrote goes at once
  return copy;
}

}  // namespace

// Also turns off the system's dialogs for a drive without a disk (an empty card reader) and for
// files that do not open, keeping what the parent process set: a failed move is reported instead.
std::unique_ptr<FileSystem> makeSystemFileSystem() {
  win32.SetErrorMode(win32.GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return std::make_unique<Win32FileSystem>();
}
