#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/path_style.h"

// How this system spells file paths.
PathStyle nativePathStyle();

// Whether the system's programs take options on their command line: Linux's do (`--help`); a
// program started by a drop on Windows gets only the dropped paths.
enum class OptionSyntax { kOptions, kNone };
OptionSyntax nativeOptionSyntax();

// The command line as the system hands it over: POSIX splits it into arguments; Windows gives
// one line of text that the program splits by its own rules.
struct NativeCommandLine {
  std::optional<std::string> line;     // the whole line, the program's path first
  std::vector<std::string> arguments;  // when there is no line: those after the program's path
};

NativeCommandLine nativeCommandLine(int argc, char** argv);
