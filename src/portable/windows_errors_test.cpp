#include "portable/windows_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "portable/windows_names.h"

namespace {

TEST(WindowsErrors, TextsOfFailedMoves) {
  struct Case {
    uint32_t error;
    std::string text;
  } cases[] = {
      {2, "No such file or directory"},
      {3, "No such file or directory"},
      {123, "No such file or directory"},
      {5, "Permission denied"},
      {32, "Permission denied"},
      {80, "File already exists"},
      {183, "File already exists"},
      {17, "Cross-device link"},
      {19, "Read-only file system"},
      {112, "No space left on device"},
      {39, "No space left on device"},    // the handle's disk is full
      {1295, "No space left on device"},  // the disk quota is used up
      {225, "Permission denied"},         // antivirus blocked the file
      {1, "Invalid argument"},
      {87, "Invalid argument"},
      {206, "File name too long"},
      {33, std::strerror(EACCES)},  // a lock violation
      {4, std::strerror(EMFILE)},
      {145, std::strerror(ENOTEMPTY)},
      {21, std::strerror(EACCES)},
      {1392, std::strerror(EINVAL)},
      {1235, "Interrupted system call"},  // a copy given up for a stop
  };
  for (const Case& c : cases) {
    EXPECT_EQ(moveErrorText(moveFailureOfWindowsError(c.error)), c.text) << c.error;
  }
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
