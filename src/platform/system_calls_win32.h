#pragma once

// Every call the Windows layer makes to the system, through one table, as SQLite's os_win.c
// makes its own: the exe's table (system_calls_win32.cpp) is the system's functions themselves;
// the fault-table exe links another (tests/win32_faults_win32.cpp) that fails a chosen call,
// or ends the process at it, as strace's inject= does on Linux.
#include <windows.h>
#include <winternl.h>

struct Win32Calls {
  // Files and folders.
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::ReadFile) ReadFile;
  decltype(&::WriteFile) WriteFile;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
  decltype(&::GetFileInformationByHandleEx) GetFileInformationByHandleEx;
  decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
  decltype(&::FlushFileBuffers) FlushFileBuffers;
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::GetFullPathNameW) GetFullPathNameW;
  decltype(&::GetCurrentDirectoryW) GetCurrentDirectoryW;
  decltype(&::CopyFileExW) CopyFileExW;
  decltype(&::NtQueryInformationFile) NtQueryInformationFile;
  // NtFlushBuffersFileEx (Windows 8 on), found at run time: STATUS_NOT_IMPLEMENTED where the
  // system has none.
  NTSTATUS(WINAPI* NtFlushBuffersFileEx)(HANDLE, ULONG, PVOID, ULONG, PIO_STATUS_BLOCK);
  decltype(&::RtlNtStatusToDosError) RtlNtStatusToDosError;
  decltype(&::SetErrorMode) SetErrorMode;
  decltype(&::GetErrorMode) GetErrorMode;
  decltype(&::LCMapStringEx) LCMapStringEx;
  decltype(&::CompareStringOrdinal) CompareStringOrdinal;
  decltype(&::GetTickCount) GetTickCount;
  decltype(&::GetCurrentProcessId) GetCurrentProcessId;
  decltype(&::Sleep) Sleep;
  // The console.
  decltype(&::GetStdHandle) GetStdHandle;
  decltype(&::GetConsoleMode) GetConsoleMode;
  decltype(&::SetConsoleMode) SetConsoleMode;
  decltype(&::WriteConsoleW) WriteConsoleW;
  decltype(&::ReadConsoleW) ReadConsoleW;
  decltype(&::ReadConsoleInputW) ReadConsoleInputW;
  decltype(&::FlushConsoleInputBuffer) FlushConsoleInputBuffer;
  decltype(&::GetNumberOfConsoleInputEvents) GetNumberOfConsoleInputEvents;
  decltype(&::WideCharToMultiByte) WideCharToMultiByte;
  decltype(&::MultiByteToWideChar) MultiByteToWideChar;
  // Control events and the process.
  decltype(&::SetConsoleCtrlHandler) SetConsoleCtrlHandler;
  decltype(&::CreateEventW) CreateEventW;
  decltype(&::SetEvent) SetEvent;
  decltype(&::WaitForSingleObject) WaitForSingleObject;
  decltype(&::GetCommandLineW) GetCommandLineW;
};

// The table this exe was linked with.
extern const Win32Calls win32;
