#pragma once

#include <cstdint>

// Whether a Windows console key-down event ends the key wait: any key that carries a character
// (Ctrl+C included, as 3), and function, cursor, editing, keypad, digit, letter and punctuation
// keys that do not. Shift, Ctrl, Alt, the Windows keys and the lock keys alone never do.
bool keyEndsWait(uint16_t virtualKey, char16_t character);
