#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

// The UTF-8 text in code page 932, as the Windows build stores it; nothing when it has no such
// form.
inline std::optional<std::string> toCp932(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(utf8);
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}
