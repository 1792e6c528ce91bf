#pragma once

// The Win32 layer's side of the conversions: wide calls take UTF-16 as wchar_t.
#include <string>
#include <string_view>

#include "portable/utf16.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is UTF-16");

inline std::wstring widen(std::string_view utf8) {
  std::u16string utf16 = utf8ToUtf16(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

inline std::string narrow(std::wstring_view wide) {
  return utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}
