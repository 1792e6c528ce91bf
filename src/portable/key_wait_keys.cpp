#include "portable/key_wait_keys.h"

namespace {

// Windows virtual-key codes, as winuser.h numbers them.
struct KeyRange {
  uint16_t first;
  uint16_t last;
};

constexpr KeyRange kEndingKeys[] = {
    {0x0C, 0x0C},  // VK_CLEAR: keypad 5 without Num Lock
    {0x21, 0x28},  // VK_PRIOR .. VK_DOWN: Page Up/Down, End, Home, arrows
    {0x2D, 0x2E},  // VK_INSERT, VK_DELETE
    {0x30, 0x39},  // digits
    {0x41, 0x5A},  // letters
    {0x60, 0x6F},  // VK_NUMPAD0 .. VK_DIVIDE
    {0x70, 0x87},  // VK_F1 .. VK_F24
    {0xBA, 0xC0},  // VK_OEM_1 .. VK_OEM_3: ;= , - . / `
    {0xDB, 0xDF},  // VK_OEM_4 .. VK_OEM_8: [ \ ] '
    {0xE2, 0xE2},  // VK_OEM_102
};

}  // namespace

bool keyEndsWait(uint16_t virtualKey, char16_t character) {
  if (character != 0) return true;
  for (const KeyRange& range : kEndingKeys) {
    if (virtualKey >= range.first && virtualKey <= range.last) return true;
  }
  return false;
}
