#include "platform/system_calls_win32.h"

namespace {

constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);  // STATUS_NOT_IMPLEMENTED

// NtFlushBuffersFileEx, where the system has it (Windows 8 on).
NTSTATUS WINAPI flushBuffersFileEx(HANDLE file, ULONG flags, PVOID parameters, ULONG size,
                                   PIO_STATUS_BLOCK status) {
  using Call = decltype(Win32Calls::NtFlushBuffersFileEx);
  static const Call found = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr ? nullptr
                            : reinterpret_cast<Call>(reinterpret_cast<void*>(
                                  GetProcAddress(ntdll, "NtFlushBuffersFileEx")));
  }();
  return found == nullptr ? kNotImplemented : found(file, flags, parameters, size, status);
}

}  // namespace

const Win32Calls win32 = {
    ::CreateFileW,
    ::ReadFile,
    ::WriteFile,
    ::CloseHandle,
    ::GetFileInformationByHandle,
    ::GetFileInformationByHandleEx,
    ::SetFileInformationByHandle,
    ::FlushFileBuffers,
    ::GetFileAttributesW,
    ::GetFullPathNameW,
    ::GetCurrentDirectoryW,
    ::CopyFileExW,
    ::NtQueryInformationFile,
    flushBuffersFileEx,
    ::RtlNtStatusToDosError,
    ::SetErrorMode,
    ::GetErrorMode,
    ::LCMapStringEx,
    ::CompareStringOrdinal,
    ::GetTickCount,
    ::GetCurrentProcessId,
    ::Sleep,
    ::GetStdHandle,
    ::GetConsoleMode,
    ::SetConsoleMode,
    ::WriteConsoleW,
    ::ReadConsoleW,
    ::ReadConsoleInputW,
    ::FlushConsoleInputBuffer,
    ::GetNumberOfConsoleInputEvents,
    ::WideCharToMultiByte,
    ::MultiByteToWideChar,
    ::SetConsoleCtrlHandler,
    ::CreateEventW,
    ::SetEvent,
    ::WaitForSingleObject,
    ::GetCommandLineW,
};
