// The system's calls as the fault-table exe (reprename_faults.exe) makes them: each goes to the
// system unless REPRENAME_FAULTS picks it, as strace's inject= picks a call on Linux:
//   REPRENAME_FAULTS=CALL[@TEXT]:N[+]:ACTION[,...]
// fails the N-th call of CALL (from the N-th on, with +; only calls on a path ending in TEXT,
// with @) with ACTION: an error's name (access-denied, sharing-violation, disk-full,
// write-protected, io-error, not-same-device, invalid-parameter, already-exists, crc,
// not-supported) or number; "kill" ends the process before the call, "kill-after" after it;
// "ctrl-c" and "close" send that console event to the handler the exe set, as the system would;
// "later" lets the call be, but moves the times it tells of a file on by a second.
// REPRENAME_FAULTS_FIRED names a file each plan that comes true is noted in; REPRENAME_CALLS one
// every call is listed in, with its number among the calls of its kind (and its path).
// REPRENAME_EMULATE=WHAT[,...] gives the exe a system of another kind: "modern", Windows 10's
// NtFlushBuffersFileEx and FileDispositionInfoEx where the system (Wine) lacks them; "win7",
// neither, where the system has them; "encrypted" sources that are EFS-encrypted; "encrypting" a
// target that keeps files encrypted; "filtered" sources whose data a filter keeps (a WOF reparse
// point, whose stub reads as zeros); "linked" sources that are symbolic links; "streams" sources
// with a named stream (Zone.Identifier), which the target cannot hold.
#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/system_calls_win32.h"

namespace {

enum class Act { kError, kKill, kKillAfter, kCtrlC, kClose, kLater };

struct Plan {
  std::string call;
  std::wstring text;  // only calls on a path holding this
  long from = 1;
  bool onwards = false;
  Act act = Act::kError;
  DWORD error = 0;
  std::atomic<long> seen{0};
};

struct NamedError {
  const char* name;
  DWORD error;
};
constexpr NamedError kErrors[] = {
    {"access-denied", ERROR_ACCESS_DENIED},
    {"sharing-violation", ERROR_SHARING_VIOLATION},
    {"disk-full", ERROR_DISK_FULL},
    {"write-protected", ERROR_WRITE_PROTECT},
    {"io-error", ERROR_IO_DEVICE},
    {"not-same-device", ERROR_NOT_SAME_DEVICE},
    {"invalid-parameter", ERROR_INVALID_PARAMETER},
    {"already-exists", ERROR_ALREADY_EXISTS},
    {"crc", ERROR_CRC},
    {"not-supported", ERROR_NOT_SUPPORTED},
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

std::vector<std::string> split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= text.size() && !text.empty()) {
    const std::size_t end = text.find(by, at);
    parts.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return parts;
}

std::vector<Plan>& plans() {
  static std::vector<Plan> all = [] {
    const std::vector<std::string> faults = split(environment("REPRENAME_FAULTS"), ',');
    std::vector<Plan> made(faults.size());
    std::size_t i = 0;
    for (const std::string& fault : faults) {
      const std::vector<std::string> parts = split(fault, ':');
      if (parts.size() != 3) std::abort();
      Plan& plan = made[i++];
      const std::size_t at = parts[0].find('@');
      plan.call = parts[0].substr(0, at);
      if (at != std::string::npos) {
        const std::string text = parts[0].substr(at + 1);
        plan.text.assign(text.begin(), text.end());
      }
      plan.from = std::atol(parts[1].c_str());
      plan.onwards = parts[1].back() == '+';
      const std::string& act = parts[2];
      plan.act = act == "kill"         ? Act::kKill
                 : act == "kill-after" ? Act::kKillAfter
                 : act == "ctrl-c"     ? Act::kCtrlC
                 : act == "close"      ? Act::kClose
                 : act == "later"      ? Act::kLater
                                       : Act::kError;
      plan.error = static_cast<DWORD>(std::atol(act.c_str()));
      for (const NamedError& named : kErrors) {
        if (act == named.name) plan.error = named.error;
      }
    }
    return made;
  }();
  return all;
}

bool emulated(const char* what) {
  static const std::vector<std::string> all = split(environment("REPRENAME_EMULATE"), ',');
  for (const std::string& one : all) {
    if (one == what) return true;
  }
  return false;
}

PHANDLER_ROUTINE g_handler = nullptr;  // the console handler the exe set last

// Ends the process at once, as the system ends it after a closed window.
void end() { TerminateProcess(GetCurrentProcess(), 137); }

// A console event as the system sends it: to the handler, on a thread of its own; a closed window
// ends the process once the handler returns.
void sendEvent(DWORD event) {
  if (g_handler == nullptr) return;
  CreateThread(
      nullptr, 0,
      [](LPVOID parameter) -> DWORD {
        const DWORD sent = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
        g_handler(sent);
        if (sent == CTRL_CLOSE_EVENT) end();
        return 0;
      },
      reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(event)), 0, nullptr);
  Sleep(50);  // noted before the call goes on, as a key pressed a moment before would be
}

// Appends `line` to the file named by the environment variable `name`, if it is set.
void note(const char* name, const std::string& line) {
  static std::mutex lock;
  const std::string file = environment(name);
  if (file.empty()) return;
  std::lock_guard<std::mutex> held(lock);
  const HANDLE out = ::CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(out);
}

std::string narrowed(const wchar_t* path) {
  std::string text;
  for (; path != nullptr && *path; ++path)
    text.push_back(*path < 128 ? static_cast<char>(*path) : '?');
  return text;
}

bool endsWith(const wchar_t* path, const std::wstring& end) {
  const std::size_t length = path == nullptr ? 0 : std::wcslen(path);
  return length >= end.size() && end.compare(0, end.size(), path + length - end.size()) == 0;
}

// What the plans say of this call of `call` (on `path`, for calls that take one): the error to
// fail it with, or 0. Kills and console events happen here.
struct Verdict {
  DWORD error = 0;
  bool killAfter = false;
  bool later = false;
};
thread_local Verdict g_verdict;  // the last one this thread was given, for the emulations
// A kill at this call: the process is ended from outside, as a kill ends it, by the fault table,
// which reads "kill" where the plans that came true are noted; this thread waits for it (none
// other changes the disk meanwhile: the workers are idle while the main thread moves, and it
// waits for them while they read). Without such a note the process ends itself.
void kill() {
  if (environment("REPRENAME_FAULTS_FIRED").empty()) end();
  note("REPRENAME_FAULTS_FIRED", "kill\n");
  Sleep(INFINITE);
}

Verdict judge(const char* call, const wchar_t* path = nullptr) {
  static std::mutex countsLock;
  static std::map<std::string, long> counts;
  if (!environment("REPRENAME_CALLS").empty()) {
    long n = 0;
    {
      std::lock_guard<std::mutex> held(countsLock);
      n = ++counts[call];
    }
    note("REPRENAME_CALLS",
         std::string(call) + " " + std::to_string(n) + " " + narrowed(path) + "\n");
  }
  Verdict verdict;
  for (Plan& plan : plans()) {
    if (plan.call != call) continue;
    if (!plan.text.empty() && !endsWith(path, plan.text)) continue;
    const long n = ++plan.seen;
    if (n != plan.from && !(plan.onwards && n > plan.from)) continue;
    note("REPRENAME_FAULTS_FIRED", plan.call + " " + std::to_string(n) + "\n");
    switch (plan.act) {
      case Act::kKill:
        kill();
        break;
      case Act::kKillAfter:
        verdict.killAfter = true;
        break;
      case Act::kCtrlC:
        sendEvent(CTRL_C_EVENT);
        break;
      case Act::kClose:
        sendEvent(CTRL_CLOSE_EVENT);
        break;
      case Act::kError:
        verdict.error = plan.error;
        break;
      case Act::kLater:
        verdict.later = true;
        break;
    }
  }
  g_verdict = verdict;
  return verdict;
}

// Calls `real` unless the plans fail this call, which then returns `failure` with the error set.
template <class R, class... A>
R through(const char* call, const wchar_t* path, R failure, R(WINAPI* real)(A...), A... args) {
  const Verdict verdict = judge(call, path);
  if (verdict.error != 0) {
    SetLastError(verdict.error);
    return failure;
  }
  R result = real(args...);
  if (verdict.killAfter) kill();
  return result;
}

// The NT status a Windows error stands for, for the NT calls.
NTSTATUS statusOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return static_cast<NTSTATUS>(0xC0000022);
    case ERROR_SHARING_VIOLATION:
      return static_cast<NTSTATUS>(0xC0000043);
    case ERROR_DISK_FULL:
      return static_cast<NTSTATUS>(0xC000007F);
    case ERROR_WRITE_PROTECT:
      return static_cast<NTSTATUS>(0xC00000A2);
    case ERROR_INVALID_PARAMETER:
      return static_cast<NTSTATUS>(0xC000000D);
    case ERROR_NOT_SUPPORTED:
      return static_cast<NTSTATUS>(0xC00000BB);
    case ERROR_CRC:
      return static_cast<NTSTATUS>(0xC000003F);
    default:
      return static_cast<NTSTATUS>(0xC0000185);  // STATUS_IO_DEVICE_ERROR
  }
}

template <class... A>
NTSTATUS throughNt(const char* call, NTSTATUS(WINAPI* real)(A...), A... args) {
  const Verdict verdict = judge(call);
  if (verdict.error != 0) return statusOf(verdict.error);
  const NTSTATUS result = real(args...);
  if (verdict.killAfter) kill();
  return result;
}

// What the emulations keep: handles of copies made encrypted, and the reparse tags of sources
// opened as themselves (a filter's stub, or a link).
std::mutex g_handlesLock;
std::set<HANDLE> g_encryptedCopies;
std::map<HANDLE, ULONG> g_tags;

constexpr ULONG kWofTag = 0x80000017;      // IO_REPARSE_TAG_WOF: a data filter's, no name surrogate
constexpr ULONG kSymlinkTag = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK

bool isEncrypted(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handlesLock);
  return g_encryptedCopies.count(handle) != 0;
}

ULONG tagOf(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handlesLock);
  const auto tag = g_tags.find(handle);
  return tag == g_tags.end() ? 0 : tag->second;
}

bool isReplay(const wchar_t* path) {
  const std::size_t length = std::wcslen(path);
  return length > 4 && _wcsicmp(path + length - 4, L".rep") == 0;
}

constexpr wchar_t kStream[] = L":Zone.Identifier:$DATA";

// A named stream of a replay, for "streams": read from the replay itself, written to nowhere.
HANDLE WINAPI createFileAsEmulated(LPCWSTR path, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                   HANDLE model) {
  const std::wstring name = path;
  const std::size_t stream = name.rfind(kStream);
  if (!emulated("streams") || stream == std::wstring::npos ||
      stream + std::wcslen(kStream) != name.size()) {
    return ::CreateFileW(path, access, share, security, disposition, flags, model);
  }
  if (disposition == CREATE_NEW) {
    return ::CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  return ::CreateFileW(name.substr(0, stream).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

HANDLE WINAPI createFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE model) {
  const DWORD attributes = flags & 0xFFFF;
  HANDLE file = through("CreateFileW", path, INVALID_HANDLE_VALUE, createFileAsEmulated, path,
                        access, share, security, disposition, flags, model);
  if (file == INVALID_HANDLE_VALUE) return file;
  std::lock_guard<std::mutex> lock(g_handlesLock);
  if (emulated("encrypting") && (attributes & FILE_ATTRIBUTE_ENCRYPTED)) {
    g_encryptedCopies.insert(file);
  }
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) && isReplay(path)) {
    if (emulated("filtered")) g_tags[file] = kWofTag;
    if (emulated("linked")) g_tags[file] = kSymlinkTag;
  }
  return file;
}

BOOL WINAPI closeHandle(HANDLE handle) {
  {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    g_encryptedCopies.erase(handle);
    g_tags.erase(handle);
  }
  return through("CloseHandle", nullptr, FALSE, ::CloseHandle, handle);
}

BOOL WINAPI readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED at) {
  const BOOL read = through("ReadFile", nullptr, FALSE, ::ReadFile, file, buffer, size, got, at);
  if (read && tagOf(file) == kWofTag) std::memset(buffer, 0, *got);  // a stub holds no data
  return read;
}

BOOL WINAPI getInfoAsEmulated(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  const BOOL got = ::GetFileInformationByHandle(file, info);
  if (got && tagOf(file) != 0) info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return got;
}

// The streams of a replay, for "streams": its data and a Zone.Identifier.
BOOL streamsOf(HANDLE file, LPVOID info, DWORD size) {
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) {
    return FALSE;
  }
  auto* at = static_cast<char*>(info);
  const auto entry = [&](const wchar_t* name, LONGLONG bytes, bool last) {
    auto* stream = reinterpret_cast<FILE_STREAM_INFO*>(at);
    const DWORD length = static_cast<DWORD>(std::wcslen(name) * sizeof(wchar_t));
    const DWORD next = (offsetof(FILE_STREAM_INFO, StreamName) + length + 7) & ~7u;
    stream->NextEntryOffset = last ? 0 : next;
    stream->StreamNameLength = length;
    stream->StreamSize.QuadPart = bytes;
    stream->StreamAllocationSize.QuadPart = bytes;
    std::memcpy(stream->StreamName, name, length);
    at += next;
  };
  if (size < 256) return FALSE;
  entry(L"::$DATA", standard.EndOfFile.QuadPart, false);
  entry(kStream, 26, true);
  return TRUE;
}

BOOL WINAPI getInfoExAsEmulated(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                                DWORD size) {
  if (kind == FileAttributeTagInfo && tagOf(file) != 0) {
    auto* tag = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info);
    tag->FileAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    tag->ReparseTag = tagOf(file);
    return TRUE;
  }
  if (kind == FileStreamInfo && emulated("streams")) return streamsOf(file, info, size);
  const BOOL got = ::GetFileInformationByHandleEx(file, kind, info, size);
  if (got && kind == FileBasicInfo) {
    auto* basic = static_cast<FILE_BASIC_INFO*>(info);
    if (isEncrypted(file)) basic->FileAttributes |= FILE_ATTRIBUTE_ENCRYPTED;
    if (g_verdict.later) {
      basic->LastWriteTime.QuadPart += 10000000;  // a second on
      basic->ChangeTime.QuadPart += 10000000;
    }
  }
  return got;
}

BOOL WINAPI setInfoAsEmulated(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                              DWORD size) {
  constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  if (kind != kDispositionInfoEx) return ::SetFileInformationByHandle(file, kind, info, size);
  if (emulated("win7")) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (::SetFileInformationByHandle(file, kind, info, size)) return TRUE;
  if (GetLastError() != ERROR_INVALID_PARAMETER || !emulated("modern")) return FALSE;
  // Wine deletes with no POSIX semantics: a read-only file loses the attribute first.
  FILE_BASIC_INFO basic;
  if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

NTSTATUS WINAPI queryInfo(HANDLE file, PIO_STATUS_BLOCK status, PVOID info, ULONG size,
                          FILE_INFORMATION_CLASS kind) {
  const NTSTATUS result =
      throughNt("NtQueryInformationFile", ::NtQueryInformationFile, file, status, info, size, kind);
  if (result >= 0 || result == static_cast<NTSTATUS>(0x80000005)) {  // BUFFER_OVERFLOW: partial
    constexpr auto kAll = static_cast<FILE_INFORMATION_CLASS>(18);   // FileAllInformation
    auto* attributes = static_cast<ULONG*>(info) + 8;  // FILE_BASIC_INFORMATION's, after 4 times
    if (kind == kAll && emulated("encrypted")) *attributes |= FILE_ATTRIBUTE_ENCRYPTED;
    if (kind == kAll && tagOf(file) != 0) *attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return result;
}

// NtFlushBuffersFileEx as the system has it, or as "modern" where it has none: as its "no sync"
// asks, the file's data and metadata written (which Wine's FlushFileBuffers does).
NTSTATUS WINAPI flushExAsEmulated(HANDLE file, ULONG flags, PVOID parameters, ULONG size,
                                  PIO_STATUS_BLOCK status) {
  using Call = decltype(Win32Calls::NtFlushBuffersFileEx);
  static const Call system = reinterpret_cast<Call>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtFlushBuffersFileEx")));
  if (system != nullptr && !emulated("win7")) return system(file, flags, parameters, size, status);
  if (!emulated("modern")) return static_cast<NTSTATUS>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
  return ::FlushFileBuffers(file) ? 0 : statusOf(GetLastError());
}

BOOL WINAPI setCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  g_handler = add ? handler : nullptr;
  return through("SetConsoleCtrlHandler", nullptr, FALSE, ::SetConsoleCtrlHandler, handler, add);
}

}  // namespace

const Win32Calls win32 = {
    createFile,
    readFile,
    [](auto... a) { return through("WriteFile", nullptr, FALSE, ::WriteFile, a...); },
    closeHandle,
    [](auto... a) {
      return through("GetFileInformationByHandle", nullptr, FALSE, getInfoAsEmulated, a...);
    },
    [](auto... a) {
      return through("GetFileInformationByHandleEx", nullptr, FALSE, getInfoExAsEmulated, a...);
    },
    [](auto... a) {
      return through("SetFileInformationByHandle", nullptr, FALSE, setInfoAsEmulated, a...);
    },
    [](auto... a) { return through("FlushFileBuffers", nullptr, FALSE, ::FlushFileBuffers, a...); },
    [](LPCWSTR path) {
      return through("GetFileAttributesW", path, INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW,
                     path);
    },
    [](LPCWSTR path, auto... a) {
      return through("GetFullPathNameW", path, DWORD{0}, ::GetFullPathNameW, path, a...);
    },
    [](auto... a) {
      return through("GetCurrentDirectoryW", nullptr, DWORD{0}, ::GetCurrentDirectoryW, a...);
    },
    [](LPCWSTR from, LPCWSTR to, auto... a) {
      return through("CopyFileExW", to, FALSE, ::CopyFileExW, from, to, a...);
    },
    queryInfo,
    [](auto... a) { return throughNt("NtFlushBuffersFileEx", flushExAsEmulated, a...); },
    ::RtlNtStatusToDosError,
    ::SetErrorMode,
    ::GetErrorMode,
    ::LCMapStringEx,
    ::CompareStringOrdinal,
    ::GetTickCount,
    ::GetCurrentProcessId,
    ::Sleep,
    [](auto... a) {
      return through("GetStdHandle", nullptr, INVALID_HANDLE_VALUE, ::GetStdHandle, a...);
    },
    [](auto... a) { return through("GetConsoleMode", nullptr, FALSE, ::GetConsoleMode, a...); },
    [](auto... a) { return through("SetConsoleMode", nullptr, FALSE, ::SetConsoleMode, a...); },
    [](auto... a) { return through("WriteConsoleW", nullptr, FALSE, ::WriteConsoleW, a...); },
    [](auto... a) { return through("ReadConsoleW", nullptr, FALSE, ::ReadConsoleW, a...); },
    [](auto... a) {
      return through("ReadConsoleInputW", nullptr, FALSE, ::ReadConsoleInputW, a...);
    },
    ::FlushConsoleInputBuffer,
    ::GetNumberOfConsoleInputEvents,
    ::WideCharToMultiByte,
    ::MultiByteToWideChar,
    setCtrlHandler,
    [](auto... a) {
      return through("CreateEventW", nullptr, HANDLE{nullptr}, ::CreateEventW, a...);
    },
    [](auto... a) { return through("SetEvent", nullptr, FALSE, ::SetEvent, a...); },
    [](auto... a) {
      return through("WaitForSingleObject", nullptr, WAIT_FAILED, ::WaitForSingleObject, a...);
    },
    ::GetCommandLineW,
};
