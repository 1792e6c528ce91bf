#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "portable/path_style.h"

// The extension of every replay's name.
inline constexpr std::string_view kReplayExtension = ".rep";

// True for the names a folder's replays have: ending in ".rep" in any letter case.
bool isReplayFileName(std::string_view name);

// Every byte of a version 1.11 replay that the renamer looks at lies in its first 67 bytes.
constexpr std::size_t kReplayHeaderSize = 67;
constexpr std::size_t kReplayNameLength = 8;  // name codes, from the first byte
constexpr unsigned kHighestNameCode = 100;

// Where the header's fields lie, each one byte.
constexpr std::size_t kMonthOffset = 8;
constexpr std::size_t kDayOffset = 9;
constexpr std::size_t kP1Offset = 10;  // character, first card, second card
constexpr std::size_t kP2Offset = 60;  // the same for 2P
constexpr std::size_t kStageOffset = 66;
static_assert(kStageOffset < kReplayHeaderSize);

// The file-safe form of the game's name alphabet: entry c is the character of name code c.
// No entry is '/', so a decoded name never forms a token.
constexpr std::string_view NAME_ALPHABET =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+---=%#!-.---_@$(){}[][]&--~^"
    "--------- ";
static_assert(NAME_ALPHABET.size() == kHighestNameCode + 1);

// The header fields the file-name tokens use, each a sign-extended byte.
struct ReplayHeader {
  int8_t month = 0;
  int8_t day = 0;
  int8_t p1Character = 0;
  int8_t p1FirstCard = 0;
  int8_t p1SecondCard = 0;
  int8_t p2Character = 0;
  int8_t p2FirstCard = 0;
  int8_t p2SecondCard = 0;
  int8_t stage = 0;
};

enum class ReplayStatus {
  kOk,
  kOpenFailed,  // not a regular file that opens for reading, or unreadable
  kAbnormal,    // a name code above 100, or too short to hold a header
};

struct ReplayFile {
  ReplayStatus status = ReplayStatus::kOpenFailed;
  std::string name;  // the 8 decoded name characters, untrimmed
  ReplayHeader header;
  std::array<char, kReplayHeaderSize>
      bytes{};  // the header as read, for kOk: what a copy must begin with
};

// Decodes a replay from its first 67 bytes, or fewer. The name codes are checked before the
// length, so a short file with a bad code is abnormal for its code.
ReplayFile decodeReplayBytes(std::string_view bytes);

// Decodes the 8 name codes at the start of `bytes` (missing codes count as 0). Returns false,
// leaving `name` undefined, at the first code above 100.
bool decodeReplayName(std::string_view bytes, std::string* name);

// Takes the header fields from a full 67-byte header.
ReplayHeader decodeHeaderFields(std::string_view bytes);

// Removes the blanks at both ends of a decoded name; blanks inside stay.
std::string trimReplayName(std::string_view name);
