#pragma once

#include <string>
#include <vector>

// The directory separator of file paths on this system.
char nativePathSeparator();

// The command-line arguments after the program's own path, as byte strings.
std::vector<std::string> nativeArguments(int argc, char** argv);
