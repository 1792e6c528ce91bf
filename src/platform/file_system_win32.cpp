#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/console_closed_win32.h"
#include "platform/file_system.h"
#include "platform/handle_win32.h"
#include "platform/stop_requests.h"
#include "platform/wide_win32.h"
#include "portable/path_style.h"
#include "portable/windows_errors.h"
#include "portable/windows_names.h"

namespace {

// What Windows makes of `path` as a full path, asking nothing of the disk; empty where it cannot.
// One call while the result fits in MAX_PATH.
std::wstring fullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, &full[0], nullptr);
  if (length >= MAX_PATH) {  // too long for the buffer: the size it needs, with the NUL
    full.assign(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    if (length >= full.size()) length = 0;
  }
  full.resize(length);
  return full;
}

// The name the system is given for `path`. While its full path is shorter than MAX_PATH it is
// the path as it is, read the way Windows always reads it. From MAX_PATH on it is the \\?\ form
// of the full path, which has no length limit and means what the short form would: relative to
// the current directory, with '/' read as a backslash, '.' and '..' resolved. A file whose name
// Windows reads as a device (AUX.rep, CON.rep, made on other systems) is reached in that form
// too, which names the file itself.
std::wstring systemPath(std::string_view path) {
  std::wstring wide = widen(path);
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  const std::string_view name = fileNamePart(path, PathStyle::kWindows);
  const bool device = !name.empty() && isWindowsDeviceName(name);
  std::wstring full;
  if (device) {
    // Windows makes \\.\AUX of such a path: the folder's full path, then the name.
    const std::string_view folder = folderPart(path, PathStyle::kWindows);
    full = fullPathOf(folder.empty() ? L"." : widen(folder));
    if (full.empty()) return wide;
    if (full.back() != L'\\') full += L'\\';
    full += widen(name);
  } else {
    full = fullPathOf(wide);
    if (full.size() < MAX_PATH) return wide;  // short, or no full path to be had
  }
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Opens a file for reading the way the existence test and the replay reads do. Devices (CON,
// NUL, COM1, pipes) open too, but are no files.
Handle openRegularFile(const std::string& path) {
  Handle file(CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && GetFileType(file.get()) != FILE_TYPE_DISK) file.reset();
  return file;
}

// The stamp of an open file: its volume and file ID (the 128-bit one where the system has it),
// its attributes, size and last-write time. False where the system tells nothing.
bool stampOf(HANDLE file, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  stamp->volume = info.dwVolumeSerialNumber;
  stamp->fileId = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  stamp->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  stamp->written =
      (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  stamp->attributes = info.dwFileAttributes;
  FILE_ID_INFO id;
  if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    static_assert(sizeof id.FileId.Identifier == 16);
    stamp->volume = id.VolumeSerialNumber;
    std::memcpy(&stamp->fileId, id.FileId.Identifier, 8);
    std::memcpy(&stamp->fileIdHigh, id.FileId.Identifier + 8, 8);
  }
  return true;
}

// What a link leads to is a file on disk, not a folder or a device.
bool isRegularFile(const std::wstring& path) {
  Handle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file.get(), &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         GetFileType(file.get()) == FILE_TYPE_DISK;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Creates an empty file of our own beside `to` that nothing else can have opened, named so that
// a person sees what it is and no later run takes it for a replay; returns 0 or the system
// error.
DWORD createTemporaryBeside(std::string_view to, std::wstring* temp) {
  const std::string_view folder = folderPart(to, PathStyle::kWindows);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "reprename-copy-in-progress-%08lx%04x.tmp",
                  static_cast<unsigned long>(GetTickCount() ^ (GetCurrentProcessId() << 12)),
                  ++counter & 0xFFFF);
    *temp = systemPath(std::string(folder) + name);
    const Handle file(CreateFileW(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return 0;
    if (GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
  }
  return ERROR_FILE_EXISTS;
}

// Gives up a copy in progress as soon as the run is asked to stop; the system then deletes it.
DWORD CALLBACK copyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                            DWORD, HANDLE, HANDLE, LPVOID) {
  return systemStopRequested() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

// Writes a file's data and metadata through to the disk.
DWORD flushFile(const std::wstring& path) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  return FlushFileBuffers(file.get()) ? 0 : GetLastError();
}

void setAttributes(const std::wstring& path, DWORD attributes) {
  SetFileAttributesW(path.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

// Removes a file of our own, read-only or not; returns 0 or the system error.
DWORD removeOwnFile(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return 0;
  return GetLastError();
}

// 0 when the file at `path` is `size` bytes long and begins with `header`; the system error, or
// ERROR_CRC for a copy that holds other bytes than its source.
DWORD checkCopy(const std::wstring& path, uint64_t size, std::string_view header) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  LARGE_INTEGER length;
  std::string start(header.size(), '\0');
  DWORD got = 0;
  if (!GetFileSizeEx(file.get(), &length) ||
      !ReadFile(file.get(), &start[0], static_cast<DWORD>(start.size()), &got, nullptr)) {
    return GetLastError();
  }
  const bool same =
      static_cast<uint64_t>(length.QuadPart) == size && got == start.size() && start == header;
  return same ? 0 : ERROR_CRC;
}

bool isLockError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Antivirus, indexing and cloud sync hold a file they have just seen for a moment. A move they
// refuse is tried again after these pauses, about two seconds in all.
constexpr DWORD kLockPausesMs[] = {100, 200, 300, 600, 800};

// One copy of a group, from its copy beside the target to its new name.
struct Staged {
  std::wstring source;
  DWORD attributes = 0;  // the source's
  std::wstring temp;     // the copy's own name, until it takes the target's
  std::wstring named;    // the name it took
  DWORD error = 0;       // why it cannot be named
  DWORD nameError = ERROR_INVALID_PARAMETER;
};

std::wstring fullPathOrAsGiven(const std::string& path) {
  std::wstring wide = widen(path);
  std::wstring full = fullPathOf(wide);
  return full.empty() ? wide : full;
}

class Win32FileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    ReadResult result;
    const Handle file = openRegularFile(path);
    if (!file) {
      // A folder does not open as a file; only then is it worth asking what it is.
      const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.status = ReadStatus::kFolder;
      }
      return result;
    }
    if (!stampOf(file.get(), &result.stamp)) return result;
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      DWORD n = 0;
      if (!ReadFile(file.get(), &result.bytes[got], static_cast<DWORD>(limit - got), &n, nullptr)) {
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

  // One open, without access to the data, and its queries: the file's own identity.
  PathNow recheck(const std::string& path, const FileStamp& stamp) override {
    const Handle file(CreateFileW(systemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      return gone ? PathNow::kNothing : PathNow::kOther;
    }
    FileStamp now;
    const bool same = GetFileType(file.get()) == FILE_TYPE_DISK && stampOf(file.get(), &now) &&
                      !(now.attributes & FILE_ATTRIBUTE_DIRECTORY) && now == stamp;
    return same ? PathNow::kSameFile : PathNow::kOther;
  }

  std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    WIN32_FIND_DATAW entry;
    // Every name, matched here rather than by the system, which would match 8.3 aliases too.
    const std::wstring everyName = systemPath(pathInFolder(folder, "*", PathStyle::kWindows));
    const FindHandle find(FindFirstFileExW(everyName.c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
    if (find.get() == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>();
      return std::nullopt;
    }
    std::vector<std::string> names;
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      std::string name = narrow(entry.cFileName);
      if (!wanted(name)) continue;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          !isRegularFile(systemPath(pathInFolder(folder, name, PathStyle::kWindows)))) {
        continue;  // a link counts as what it points to
      }
      names.push_back(std::move(name));
    } while (FindNextFileW(find.get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return names;
  }

  // A device's name (CON, NUL, COM1) is taken, as it is on every Windows before 11.
  bool opensForReading(const std::string& path) override {
    if (isWindowsDeviceName(fileNamePart(path, PathStyle::kWindows))) return true;
    return static_cast<bool>(openRegularFile(path));
  }

  bool isFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  MoveResult move(const std::string& from, const std::string& to) override {
    if (DWORD refused = refusedName(to)) return moveFailure(refused);
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    const DWORD error = retryingLocks(source, target, [&] {
      return MoveFileExW(source.c_str(), target.c_str(), 0) ? 0 : GetLastError();
    });
    if (error == ERROR_NOT_SAME_DEVICE) return MoveResult{MoveError::kNeedsCopy, {}};
    return error == 0 ? MoveResult() : moveFailure(error);
  }

  // A copy beside the target under a name of our own (CopyFileEx keeps the alternate data
  // streams and attributes, as a rename would), proven and flushed: Windows flushes one file
  // at a time, so each copy is flushed here and the group's flush has nothing left to do.
  MoveResult stageCopy(const std::string& from, const std::string& to, std::string_view header,
                       std::size_t* copy) override {
    *copy = staged_.size();
    staged_.emplace_back();
    Staged& staged = staged_.back();
    staged.source = systemPath(from);
    staged.error = stage(staged, to, header);
    if (staged.error != 0 && !staged.temp.empty()) {
      removeOwnFile(staged.temp);  // what was written goes; the error said is the copy's own
      staged.temp.clear();
    }
    return staged.error == 0 ? MoveResult() : moveFailure(staged.error);
  }

  bool stagedGroupFull() override { return staged_.size() >= 64; }
  MoveResult flushStaged() override { return MoveResult(); }

  // MOVEFILE_WRITE_THROUGH returns once the new name is on disk.
  MoveResult nameStaged(std::size_t copy, const std::string& to) override {
    Staged& staged = staged_.at(copy);
    DWORD error = staged.error != 0 ? staged.error : refusedName(to);
    // A closed window or logoff leaves a deadline: the copies in hand are given up, not named.
    if (error == 0 && consoleClosed()) error = ERROR_OPERATION_ABORTED;
    const std::wstring target = systemPath(to);
    if (error == 0 && !MoveFileExW(staged.temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      error = GetLastError();
    }
    if (error != 0) {
      staged.nameError = error;
      return moveFailure(error);
    }
    staged.named = target;
    staged.temp.clear();
    return MoveResult();
  }

  std::vector<MoveResult> finishStaged() override {
    std::vector<MoveResult> outcomes;
    for (Staged& staged : staged_) {
      DWORD error = staged.error != 0 ? staged.error : staged.nameError;
      if (!staged.named.empty()) error = removeSource(staged);
      if (!staged.temp.empty()) removeOwnFile(staged.temp);  // a copy that took no name
      outcomes.push_back(error == 0 ? MoveResult() : moveFailure(error));
    }
    staged_.clear();
    return outcomes;
  }

  // Two spellings of one path, as Windows resolves them: '/' for '\', doubled separators, '.'
  // and '..', trailing dots and blanks, and letter case, as NTFS compares it.
  bool samePath(const std::string& a, const std::string& b) override {
    const std::wstring fullA = fullPathOrAsGiven(a);
    const std::wstring fullB = fullPathOrAsGiven(b);
    return CompareStringOrdinal(fullA.data(), static_cast<int>(fullA.size()), fullB.data(),
                                static_cast<int>(fullB.size()), TRUE) == CSTR_EQUAL;
  }

  // Upper case by the invariant locale's simple mapping, as NTFS's own table folds names, and
  // whatever the user's language is.
  std::string nameKey(std::string_view fileName) override {
    const std::wstring name = widen(fileName);
    if (name.empty()) return std::string();
    std::wstring upper(name.size(), L'\0');
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                                     static_cast<int>(name.size()), &upper[0],
                                     static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (length <= 0) return narrow(name);
    upper.resize(static_cast<std::size_t>(length));
    return narrow(upper);
  }

 private:
  // Device names count as taken; a name past the system's limit is too long.
  static DWORD refusedName(const std::string& to) {
    const std::string_view name = fileNamePart(to, PathStyle::kWindows);
    if (isWindowsDeviceName(name)) return ERROR_FILE_EXISTS;
    if (isWindowsNameTooLong(name)) return ERROR_FILENAME_EXCED_RANGE;
    return 0;
  }

  // Runs `attempt` again after each pause while another program's lock refuses it and the
  // source is there to move; a lock that outlasts the pauses is no passing one, and the rest of
  // the run does not wait for it.
  template <class Attempt>
  DWORD retryingLocks(const std::wstring& source, const std::wstring& target, Attempt attempt) {
    DWORD error = attempt();
    std::size_t retries = 0;
    while (retryLocks_ && isLockError(error) && retries < std::size(kLockPausesMs) &&
           !systemStopRequested() && exists(source) && (target.empty() || !exists(target))) {
      Sleep(kLockPausesMs[retries++]);
      error = attempt();
    }
    if (isLockError(error) && retries == std::size(kLockPausesMs)) retryLocks_ = false;
    return error;
  }

  DWORD stage(Staged& staged, const std::string& to, std::string_view header) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(staged.source.c_str(), GetFileExInfoStandard, &data)) {
      return GetLastError();
    }
    staged.attributes = data.dwFileAttributes;
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (DWORD error = createTemporaryBeside(to, &staged.temp)) return error;
    DWORD error = retryingLocks(staged.source, std::wstring(), [&] {
      return CopyFileExW(staged.source.c_str(), staged.temp.c_str(), copyProgress, nullptr, nullptr,
                         0)
                 ? 0
                 : GetLastError();
    });
    if (error != 0) return error;
    if (staged.attributes & FILE_ATTRIBUTE_READONLY) {
      setAttributes(staged.temp, staged.attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (DWORD checked = checkCopy(staged.temp, size, header)) return checked;
    if (DWORD flushed = flushFile(staged.temp)) return flushed;
    // Until the copy has the target's name it is a copy in progress, which a stop removes.
    return systemStopRequested() ? ERROR_OPERATION_ABORTED : 0;
  }

  // Deletes the source of a named copy. A source already gone leaves the copy the file's only
  // path; any other failure takes the new name away again. Returns 0 or the system error.
  DWORD removeSource(Staged& staged) {
    const DWORD readOnly = staged.attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly) setAttributes(staged.source, staged.attributes & ~FILE_ATTRIBUTE_READONLY);
    DWORD error = retryingLocks(staged.source, std::wstring(), [&] {
      return DeleteFileW(staged.source.c_str()) ? 0 : GetLastError();
    });
    if (error == ERROR_FILE_NOT_FOUND) error = 0;
    if (error != 0) {
      setAttributes(staged.source, staged.attributes);
      removeOwnFile(staged.named);  // if this fails too, both stay: nothing is lost
      return error;
    }
    if (readOnly) setAttributes(staged.named, staged.attributes);
    return 0;
  }

  bool retryLocks_ = true;
  std::vector<Staged> staged_;
};

}  // namespace

// Also turns off the system's dialogs for a drive without a disk (an empty card reader) and for
// files that do not open, keeping what the parent process set: a failed move is reported instead.
std::unique_ptr<FileSystem> makeSystemFileSystem() {
  const UINT parents = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetErrorMode(parents | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return std::make_unique<Win32FileSystem>();
}
