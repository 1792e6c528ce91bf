#include "replay/header.h"

bool isReplayFileName(std::string_view name) {
  if (name.size() < kReplayExtension.size()) return false;
  return asciiLower(name.substr(name.size() - kReplayExtension.size())) == kReplayExtension;
}

namespace {

int8_t signedByteAt(std::string_view bytes, std::size_t offset) {
  return static_cast<int8_t>(static_cast<unsigned char>(bytes.at(offset)));
}

}  // namespace

bool decodeReplayName(std::string_view bytes, std::string* name) {
  name->assign(kReplayNameLength, NAME_ALPHABET[0]);
  for (std::size_t i = 0; i < kReplayNameLength && i < bytes.size(); ++i) {
    unsigned code = static_cast<unsigned char>(bytes[i]);
    if (code > kHighestNameCode) return false;
    (*name)[i] = NAME_ALPHABET[code];
  }
  return true;
}

ReplayHeader decodeHeaderFields(std::string_view bytes) {
  ReplayHeader header;
  header.month = signedByteAt(bytes, kMonthOffset);
  header.day = signedByteAt(bytes, kDayOffset);
  header.p1Character = signedByteAt(bytes, kP1Offset);
  header.p1FirstCard = signedByteAt(bytes, kP1Offset + 1);
  header.p1SecondCard = signedByteAt(bytes, kP1Offset + 2);
  header.p2Character = signedByteAt(bytes, kP2Offset);
  header.p2FirstCard = signedByteAt(bytes, kP2Offset + 1);
  header.p2SecondCard = signedByteAt(bytes, kP2Offset + 2);
  header.stage = signedByteAt(bytes, kStageOffset);
  return header;
}

std::string trimReplayName(std::string_view name) {
  std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  std::size_t last = name.find_last_not_of(' ');
  return std::string(name.substr(first, last - first + 1));
}

ReplayFile decodeReplayBytes(std::string_view bytes) {
  ReplayFile replay;
  if (!decodeReplayName(bytes, &replay.name) || bytes.size() < kReplayHeaderSize) {
    replay.status = ReplayStatus::kAbnormal;
    return replay;
  }
  replay.header = decodeHeaderFields(bytes);
  bytes.copy(replay.bytes.data(), replay.bytes.size());
  replay.status = ReplayStatus::kOk;
  return replay;
}
