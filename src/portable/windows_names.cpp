#include "portable/windows_names.h"

#include "portable/path_style.h"
#include "portable/utf16.h"

namespace {

// In lower case, as the name is compared.
constexpr std::string_view kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
constexpr std::string_view kNumberedDevices[] = {"com", "lpt"};
// 1-9, and the superscripts 1, 2 and 3 in UTF-8.
constexpr std::string_view kDeviceNumbers[] = {"1", "2", "3", "4",        "5",        "6",
                                               "7", "8", "9", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

}  // namespace

bool isWindowsDeviceName(std::string_view fileName) {
  std::string_view name = fileName.substr(0, fileName.find_first_of(".:"));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const std::string base = asciiLower(name);
  for (std::string_view device : kDevices) {
    if (base == device) return true;
  }
  for (std::string_view device : kNumberedDevices) {
    if (base.compare(0, 3, device) != 0) continue;
    for (std::string_view number : kDeviceNumbers) {
      if (base.compare(3, std::string::npos, number) == 0) return true;
    }
  }
  return false;
}

bool isWindowsNameTooLong(std::string_view fileName) {
  return fileName.size() > kWindowsNameCapacity &&
         utf8ToUtf16(fileName).size() > kWindowsNameCapacity;
}
