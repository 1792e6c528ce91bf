#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_style.h"
#include "platform/wide_win32.h"
#include "platform/windows_errors.h"

namespace {

// The name the system is given for `path`. While its full path is shorter than MAX_PATH it is
// the path as it is, read the way Windows always reads it. From MAX_PATH on it is the \\?\ form
// of the full path, which has no length limit and means what the short form would: relative to
// the current directory, with '/' read as a backslash, '.' and '..' resolved.
std::wstring systemPath(std::string_view path) {
  std::wstring wide = widen(path);
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size <= MAX_PATH) return wide;  // the size counts the terminating NUL
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
  if (length < MAX_PATH || length >= size) return wide;
  full.resize(length);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Opens a file for reading the way the existence test and the replay reads do. Devices (CON,
// NUL, COM1, pipes) open too, but are no files.
HANDLE openForReading(const std::string& path) {
  HANDLE file =
      CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// What a link leads to is a file on disk, not a folder or a device.
bool isRegularFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileInformationByHandle(file, &info) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return regular;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Creates a hidden file of our own beside `to` that nothing else can have opened; returns 0 or
// the system error.
DWORD createTemporaryBeside(std::string_view to, std::wstring* temp, HANDLE* file) {
  const std::string_view folder =
      to.substr(0, to.size() - fileNamePart(to, PathStyle::kWindows).size());
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, ".reprename-%08lx%04x",
                  static_cast<unsigned long>(GetTickCount() ^ (GetCurrentProcessId() << 12)),
                  ++counter & 0xFFFF);
    *temp = systemPath(pathInFolder(folder, name, PathStyle::kWindows));
    *file = CreateFileW(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
    if (*file != INVALID_HANDLE_VALUE) return 0;
    if (GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
  }
  return ERROR_FILE_EXISTS;
}

DWORD copyContents(HANDLE from, HANDLE to) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return GetLastError();
    }
    if (got == 0) return 0;
    for (DWORD done = 0; done < got;) {
      DWORD written = 0;
      if (!WriteFile(to, buffer.data() + done, got - done, &written, nullptr))
        return GetLastError();
      if (written == 0) return ERROR_DISK_FULL;
      done += written;
    }
  }
}

// Attributes a moved file keeps, as a rename would keep them.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void setAttributes(const std::wstring& path, DWORD attributes) {
  SetFileAttributesW(path.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

// A move to another volume: copy beside the target under a name of our own, flush it, give it
// the target's name without replacing anything, and only then delete the source. Any failure
// leaves the source as it was and removes what was written. MoveFileEx's own copy would report
// success with the source still there when its delete fails, and does not flush.
DWORD copyAcrossVolumes(const std::wstring& source, const std::wstring& target,
                        std::string_view to) {
  HANDLE in = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return GetLastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(in, &info)) {
    const DWORD error = GetLastError();
    CloseHandle(in);
    return error;
  }
  std::wstring temp;
  HANDLE out = INVALID_HANDLE_VALUE;
  DWORD error = createTemporaryBeside(to, &temp, &out);
  if (error != 0) {
    CloseHandle(in);
    return error;
  }
  error = copyContents(in, out);
  if (error == 0)
    SetFileTime(out, &info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime);
  if (error == 0 && !FlushFileBuffers(out)) error = GetLastError();
  if (!CloseHandle(out) && error == 0) error = GetLastError();
  CloseHandle(in);
  if (error == 0 && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileW(temp.c_str());
    return error;
  }
  // Whole under its new name. Until the source is gone the copy stays deletable.
  const DWORD kept = info.dwFileAttributes & kKeptAttributes;
  setAttributes(target, kept & ~FILE_ATTRIBUTE_READONLY);
  if (kept & FILE_ATTRIBUTE_READONLY) setAttributes(source, kept & ~FILE_ATTRIBUTE_READONLY);
  if (!DeleteFileW(source.c_str())) {
    error = GetLastError();
    setAttributes(source, kept);
    DeleteFileW(target.c_str());
    return error;
  }
  if (kept & FILE_ATTRIBUTE_READONLY) setAttributes(target, kept);
  return 0;
}

// A rename that never replaces, and the safe copy where the target is on another volume.
DWORD moveOnce(const std::wstring& source, const std::wstring& target, std::string_view to) {
  if (MoveFileExW(source.c_str(), target.c_str(), 0)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_NOT_SAME_DEVICE ? copyAcrossVolumes(source, target, to) : error;
}

bool isLockError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Antivirus, indexing and cloud sync hold a file they have just seen for a moment. A move they
// refuse is tried again after these pauses, about two seconds in all.
constexpr DWORD kLockPausesMs[] = {100, 200, 300, 600, 800};

class Win32FileSystem : public FileSystem {
 public:
  ReadResult readPrefix(const std::string& path, std::size_t limit) override {
    ReadResult result;
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
      // A folder does not open as a file; only then is it worth asking what it is.
      const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.status = ReadStatus::kFolder;
      }
      return result;
    }
    result.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      DWORD n = 0;
      if (!ReadFile(file, &result.bytes[got], static_cast<DWORD>(limit - got), &n, nullptr)) {
        CloseHandle(file);
        result.bytes.clear();
        return result;
      }
      if (n == 0) break;
      got += n;
    }
    CloseHandle(file);
    result.bytes.resize(got);
    result.status = ReadStatus::kOk;
    return result;
  }

  std::optional<std::vector<std::string>> listFolder(
      const std::string& folder, const std::function<bool(std::string_view)>& wanted) override {
    WIN32_FIND_DATAW entry;
    // Every name, matched here rather than by the system, which would match 8.3 aliases too.
    const std::wstring everyName = systemPath(pathInFolder(folder, "*", PathStyle::kWindows));
    HANDLE find = FindFirstFileExW(everyName.c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
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
    } while (FindNextFileW(find, &entry));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    if (!complete) return std::nullopt;
    return names;
  }

  bool opensForReading(const std::string& path) override {
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  MoveResult move(const std::string& from, const std::string& to) override {
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    DWORD error = moveOnce(source, target, to);
    std::size_t retries = 0;
    while (retryLocks_ && isLockError(error) && retries < std::size(kLockPausesMs) &&
           exists(source) && !exists(target)) {
      Sleep(kLockPausesMs[retries++]);
      error = moveOnce(source, target, to);
    }
    // A lock that outlasts the pauses is no passing one: the rest of the run does not wait.
    if (isLockError(error) && retries == std::size(kLockPausesMs)) retryLocks_ = false;
    return error == 0 ? MoveResult() : moveFailureOfWindowsError(error);
  }

 private:
  bool retryLocks_ = true;
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() { return std::make_unique<Win32FileSystem>(); }
