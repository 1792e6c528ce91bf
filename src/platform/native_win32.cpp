#include <windows.h>

#include "platform/native.h"

// MinGW's runtime expands wildcards in argv unless this says no. The program reads the command
// line itself, but nothing should expand a dropped file's name behind its back.
extern "C" int _CRT_glob = 0;

PathStyle nativePathStyle() { return {'\\', NameEncoding::kShiftJis}; }

NativeCommandLine nativeCommandLine(int, char**) {
  NativeCommandLine commandLine;
  commandLine.line = GetCommandLineA();
  return commandLine;
}
