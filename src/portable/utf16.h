#pragma once

#include <string>
#include <string_view>

// Conversions between the program's UTF-8 and the UTF-16 of Windows' wide calls. Windows names
// may hold lone surrogates; they are carried in UTF-8 as three-byte sequences of their own, so a
// name read from the system goes back to it unchanged.

// UTF-8 (with lone surrogates as above) to UTF-16. A byte that starts no valid sequence becomes
// U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8; a lone surrogate is kept, as above.
std::string utf16ToUtf8(std::u16string_view utf16);

// Converts one read of a UTF-16 stream to UTF-8. A high surrogate at the end of `chunk` is held
// in `heldBack` until the next read, so a character split across two reads is joined.
std::string utf16ChunkToUtf8(std::u16string_view chunk, char16_t* heldBack);
