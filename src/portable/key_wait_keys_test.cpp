#include "portable/key_wait_keys.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyEndsWait, KeysThatEndTheWait) {
  struct Case {
    uint16_t key;
    char16_t character;
  } cases[] = {
      {0x43, 3},     // Ctrl+C arrives as a key-down carrying character 3
      {0x0D, '\r'},  // Enter
      {0x20, ' '},   // space
      {0x1B, 27},    // Esc
      {0x70, 0},     // F1
      {0x87, 0},     // F24
      {0x25, 0},     // left arrow
      {0x28, 0},     // down arrow
      {0x21, 0},     // Page Up
      {0x24, 0},     // Home
      {0x2D, 0},     // Insert
      {0x2E, 0},     // Delete
      {0x60, 0},     // keypad 0
      {0x6F, 0},     // keypad /
      {0x0C, 0},     // keypad 5 without Num Lock
      {0x30, 0},     // 0, with Alt held
      {0x5A, 0},     // Z, with Alt held
      {0xBA, 0},     // ;
      {0xDE, 0},     // '
      {0xE2, 0},     // the extra key of 102-key keyboards
      {0x10, 'a'},   // whatever the key, a character ends it
  };
  for (const Case& c : cases) EXPECT_TRUE(keyEndsWait(c.key, c.character)) << std::hex << c.key;
}

TEST(KeyEndsWait, ModifiersAndLocksAloneDoNot) {
  const uint16_t keys[] = {
      0x10, 0x11, 0x12,                    // Shift, Ctrl, Alt
      0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,  // their left and right forms
      0x14, 0x90, 0x91,                    // Caps Lock, Num Lock, Scroll Lock
      0x5B, 0x5C, 0x5D,                    // Windows keys, the menu key
      0x15, 0x19, 0x1C, 0x1D,              // IME keys
      0x00, 0xFF,
  };
  for (uint16_t key : keys) EXPECT_FALSE(keyEndsWait(key, 0)) << std::hex << key;
}

}  // namespace
