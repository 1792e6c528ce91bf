#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a Windows command line (in UTF-8, so no byte of another character is ever taken for a
// backslash, blank or quote) into its arguments, the program's path first. The program's path
// ends at the first blank or tab, or, when it starts with a double quote, at the next one. After
// it: runs of blanks and tabs separate arguments; double quotes group blanks into an argument and
// are removed; a backslash before a double quote yields a literal double quote; every other
// backslash stays; nothing is expanded.
std::vector<std::string> splitCommandLine(std::string_view line);

// The arguments of a Windows command line after the program's path.
std::vector<std::string> argumentsAfterProgram(std::string_view line);
