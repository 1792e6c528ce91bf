#include <windows.h>

#include "platform/native.h"
#include "platform/system_calls_win32.h"
#include "platform/wide_win32.h"
#include "portable/command_line.h"

// MinGW-w64's runtime expands wildcards in argv when this is set. The program reads the command
// line itself, but nothing should expand a dropped file's name behind its back.
extern "C" {
int _dowildcard = 0;
}

PathStyle nativePathStyle() { return PathStyle::kWindows; }

OptionSyntax nativeOptionSyntax() { return OptionSyntax::kNone; }

std::string nativeHomeFolder() { return std::string(); }

// The wide command line holds every name as it is on disk, whatever the ANSI code page; the
// splitter then works on its UTF-8 form, whose bytes are never mistaken for blanks or quotes.
std::vector<std::string> nativeArguments(int, char**) {
  return argumentsAfterProgram(narrow(win32.GetCommandLineW()));
}
