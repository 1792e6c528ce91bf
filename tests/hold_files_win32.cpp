// Holds files open as antivirus, indexing and sync tools do: readable by others, but not to be
// deleted or renamed. Prints "held" once it holds them all, then waits and lets go.
//   hold_files.exe MILLISECONDS FILE...
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  for (int i = 2; i < argc; ++i) {
    HANDLE file = CreateFileW(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(std::wcstoul(argv[1], nullptr, 10));
  return 0;
}
