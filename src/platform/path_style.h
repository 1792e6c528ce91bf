#pragma once

#include <cstddef>
#include <string_view>

// How file paths are spelled on a system: the separator, and whether a double-byte character's
// second byte may look like an ASCII byte (Shift-JIS: 表 is 0x95 0x5C, and 0x5C is '\').
enum class NameEncoding { kUtf8, kShiftJis };

struct PathStyle {
  char separator;
  NameEncoding encoding;
};

// A code page 932 lead byte: it and the byte after it form one character.
constexpr bool isShiftJisLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The position of the last separator character in `path`, or npos. Never a trail byte.
std::size_t lastSeparator(std::string_view path, PathStyle style);

// True when the last character of `path` is the separator.
bool endsWithSeparator(std::string_view path, PathStyle style);
