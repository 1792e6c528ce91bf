#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

// `text` converted from one encoding to another; nothing when it has no such form.
inline std::optional<std::string> convertText(std::string_view text, const char* from,
                                              const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(text);
  std::string out(in.size() * 4 + 4, '\0');
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

// The UTF-8 text in code page 932, as the Windows build shows it; nothing when it has no such
// form.
inline std::optional<std::string> toCp932(std::string_view utf8) {
  return convertText(utf8, "UTF-8", "CP932");
}

// The UTF-8 text as the Windows build writes it to a file or pipe: code page 932, with '?' for
// each character that has no form of its own there. A look-alike (iconv's 0x5C for '¥') is no
// form of its own: the character must come back from it.
inline std::string toCp932OrQuestionMarks(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    const std::string_view character = utf8.substr(i, length);
    i += length;
    std::optional<std::string> sjis = toCp932(character);
    const bool exact = sjis && convertText(*sjis, "CP932", "UTF-8") == std::string(character);
    out += exact ? *sjis : "?";
  }
  return out;
}
