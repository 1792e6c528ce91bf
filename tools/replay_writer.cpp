#include "replay_writer.h"

#include <fstream>

#include "replay/header.h"

std::array<uint8_t, 8> nameCodesFor(std::string_view text) {
  std::array<uint8_t, 8> codes;
  codes.fill(static_cast<uint8_t>(kHighestNameCode));
  for (std::size_t i = 0; i < codes.size() && i < text.size(); ++i) {
    std::size_t code = NAME_ALPHABET.find(text[i]);
    codes[i] = static_cast<uint8_t>(code == std::string_view::npos ? kHighestNameCode : code);
  }
  return codes;
}

std::string replayBytes(const ReplayFields& f) {
  std::string bytes(kReplayHeaderSize > f.size ? kReplayHeaderSize : f.size, '\0');
  for (std::size_t i = 0; i < f.nameCodes.size(); ++i) bytes[i] = static_cast<char>(f.nameCodes[i]);
  auto put = [&](std::size_t offset, int value) { bytes[offset] = static_cast<char>(value); };
  put(kMonthOffset, f.month);
  put(kDayOffset, f.day);
  put(kP1Offset, f.p1Character);
  put(kP1Offset + 1, f.p1FirstCard);
  put(kP1Offset + 2, f.p1SecondCard);
  put(kP2Offset, f.p2Character);
  put(kP2Offset + 1, f.p2FirstCard);
  put(kP2Offset + 2, f.p2SecondCard);
  put(kStageOffset, f.stage);
  // Bytes the renamer must ignore: fill them so a reader that looks there is caught.
  for (std::size_t i = kP1Offset + 3; i < kP2Offset; ++i) bytes[i] = static_cast<char>(0xA5);
  for (std::size_t i = kReplayHeaderSize; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
  bytes.resize(f.size);
  return bytes;
}

bool writeReplay(const std::string& path, const ReplayFields& fields) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string bytes = replayBytes(fields);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}
