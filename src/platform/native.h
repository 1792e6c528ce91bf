#pragma once

#include <string>
#include <vector>

#include "portable/path_style.h"

// How this system spells file paths.
PathStyle nativePathStyle();

// Whether the system's programs take options on their command line: Linux's do (`--help`); a
// program started by a drop on Windows gets only the dropped paths.
enum class OptionSyntax { kOptions, kNone };
OptionSyntax nativeOptionSyntax();

// The user's home folder, for answers typed as ~/folder; empty where there is none (Windows).
std::string nativeHomeFolder();

// The arguments the program was started with, after its own path: on POSIX as the system
// split them; on Windows split from the one line of text the system gives, by its rules.
std::vector<std::string> nativeArguments(int argc, char** argv);
