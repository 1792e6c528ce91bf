// Header decoding and name composition on arbitrary header bytes and formats.
// Input: one byte giving the format's length, the format, then the replay file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "naming/compose.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t formatLength = std::min<std::size_t>(data[0], size - 1);
  const std::string format(reinterpret_cast<const char*>(data + 1), formatLength);
  const std::string bytes(reinterpret_cast<const char*>(data + 1 + formatLength),
                          size - 1 - formatLength);
  int64_t sequence = 0;
  ComposedName composed = composeName(format, decodeReplayBytes(bytes), &sequence);
  if (composed.status != ReplayStatus::kOk) {
    if (sequence != 0 || !composed.name.empty()) __builtin_trap();
    return 0;
  }
  if (sequence != 1) __builtin_trap();
  // Without a slash there is no token, so nothing changes.
  if (format.find('/') == std::string::npos && composed.name != format) __builtin_trap();
  // No value holds a NUL, so the name has one only where the format had.
  if (format.find('\0') == std::string::npos && composed.name.find('\0') != std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
