#include <windows.h>

#include "platform/native.h"

// MinGW-w64's runtime expands wildcards in argv when this is set. The program reads the command
// line itself, but nothing should expand a dropped file's name behind its back.
extern "C" {
int _dowildcard = 0;
}

PathStyle nativePathStyle() { return {'\\', NameEncoding::kShiftJis}; }

NativeCommandLine nativeCommandLine(int, char**) {
  NativeCommandLine commandLine;
  commandLine.line = GetCommandLineA();
  return commandLine;
}
