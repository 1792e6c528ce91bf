#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fields of a made-up version 1.11 replay header.
struct ReplayFields {
  std::array<uint8_t, 8> nameCodes{};  // indices into the name alphabet; 100 is a blank
  int month = 12;
  int day = 31;
  int p1Character = 0;
  int p1FirstCard = 0;
  int p1SecondCard = 0;
  int p2Character = 1;
  int p2FirstCard = 0;
  int p2SecondCard = 0;
  int stage = 0;
  std::size_t size = 67;  // bytes in the file; those past the header are filler
};

// Name codes that decode to `text`, padded with blanks to 8 characters. Every character must
// be in the name alphabet; for the letters, digits and most punctuation that is the obvious one.
std::array<uint8_t, 8> nameCodesFor(std::string_view text);

// The bytes of a replay file with these fields. A size below 67 cuts the header short.
std::string replayBytes(const ReplayFields& fields);

// Writes the replay to `path`; false when it cannot be written.
bool writeReplay(const std::string& path, const ReplayFields& fields);
