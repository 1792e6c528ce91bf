#pragma once

#include <string>

#include "platform/file_system.h"

// The first of `target` without ".rep" followed by 0, 1, 2, ... and ".rep" that does not open
// for reading. `target` ends in ".rep".
std::string findFreeName(FileSystem& fs, const std::string& target);
