#pragma once

#include <cstddef>
#include <string_view>

// What Windows lets a file name (the last component of a path, UTF-8) be. Built on every
// platform, so the rules are tested where the tests run.

// True for a name Windows takes for a device rather than a file: up to its first '.' or ':'
// and without trailing blanks, in any letter case, CON, PRN, AUX, NUL, COM1-9, LPT1-9, COM or
// LPT with a superscript 1, 2 or 3, CONIN$ or CONOUT$.
bool isWindowsDeviceName(std::string_view fileName);

// A file name holds at most this many UTF-16 units.
constexpr std::size_t kWindowsNameCapacity = 255;

bool isWindowsNameTooLong(std::string_view fileName);
