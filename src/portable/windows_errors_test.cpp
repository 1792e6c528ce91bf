#include "portable/windows_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "portable/windows_names.h"

namespace {

// Each way a Windows error becomes words: the tool's own table, the name too long, the C
// runtime's mapping to an errno, its range of medium errors, and EINVAL for the rest.
TEST(WindowsErrors, TextsOfFailedMoves) {
  struct Case {
    uint32_t error;
    std::string text;
  } cases[] = {
      {32, "Permission denied"},          // a sharing violation
      {1295, "No space left on device"},  // the disk quota is used up
      {1235, "Interrupted system call"},  // a copy given up for a stop
      {206, "File name too long"},
      {145, std::strerror(ENOTEMPTY)},
      {21, std::strerror(EACCES)},        // a drive not ready
      {23, std::strerror(EIO)},           // a CRC error: what happened, not a refusal
      {6000, "Operation not supported"},  // no encrypted copy on the target
      {1392, std::strerror(EINVAL)},
      {10, std::strerror(EINVAL)},  // below the range of medium errors
  };
  for (const Case& c : cases) EXPECT_EQ(windowsErrorText(c.error), c.text) << c.error;
}

TEST(WindowsNames, DevicesAndTheLengthLimit) {
  struct Case {
    std::string name;
    bool device;
  } cases[] = {
      {"CON", true},         {"con.rep", true},      {"CON .rep", true},
      {"Nul.rep", true},     {"aux.tar.gz", true},   {"PRN:stream", true},
      {"COM1.rep", true},    {"lpt9", true},         {"COM\xC2\xB9.rep", true},
      {"LPT\xC2\xB3", true}, {"CONIN$.rep", true},   {"conout$", true},
      {"COM10", false},      {"CON0.rep", false},    {"CONSOLE", false},
      {"COM0.rep", false},   {"LPT", false},         {" CON.rep", false},
      {"CON_.rep", false},   {"COM\xC2\xB4", false}, {"", false},
      {"abc.rep", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isWindowsDeviceName(c.name), c.device) << c.name;

  EXPECT_FALSE(isWindowsNameTooLong(std::string(255, 'a')));
  EXPECT_TRUE(isWindowsNameTooLong(std::string(256, 'a')));
  std::string kana;  // three UTF-8 bytes, one UTF-16 unit each
  for (int i = 0; i < 255; ++i) kana += "\xE3\x81\x82";
  EXPECT_FALSE(isWindowsNameTooLong(kana));
  EXPECT_TRUE(isWindowsNameTooLong(kana + "a"));
  std::string emoji;  // four UTF-8 bytes, two UTF-16 units each
  for (int i = 0; i < 128; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_TRUE(isWindowsNameTooLong(emoji));
  EXPECT_FALSE(isWindowsNameTooLong(emoji.substr(4)));
}

}  // namespace
