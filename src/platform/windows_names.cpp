#include "platform/windows_names.h"

#include "platform/utf16.h"

namespace {

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
constexpr std::string_view kNumberedDevices[] = {"COM", "LPT"};
// 1-9, and the superscripts 1, 2 and 3 in UTF-8.
constexpr std::string_view kDeviceNumbers[] = {"1", "2", "3", "4",        "5",        "6",
                                               "7", "8", "9", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

}  // namespace

bool isWindowsDeviceName(std::string_view fileName) {
  std::string_view base = fileName.substr(0, fileName.find_first_of(".:"));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : kDevices) {
    if (equalIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() < 4) return false;
  for (std::string_view device : kNumberedDevices) {
    if (!equalIgnoringAsciiCase(base.substr(0, 3), device)) continue;
    for (std::string_view number : kDeviceNumbers) {
      if (base.substr(3) == number) return true;
    }
  }
  return false;
}

bool isWindowsNameTooLong(std::string_view fileName) {
  return fileName.size() > kWindowsNameCapacity &&
         utf8ToUtf16(fileName).size() > kWindowsNameCapacity;
}
