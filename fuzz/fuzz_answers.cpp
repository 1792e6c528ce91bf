// The reader of the prompts' answers on arbitrary input, cut into arbitrary reads.
// Input: one byte choosing the Ctrl+Z rule and the read size, then standard input's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "portable/answer_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const CtrlZ ctrlZ = (data[0] & 1) ? CtrlZ::kEndsInput : CtrlZ::kOrdinary;
  const std::size_t chunk = 1 + (data[0] >> 1);
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  AnswerBuffer buffer;
  std::string answer;
  std::size_t answers = 0;
  std::size_t answerBytes = 0;
  auto readMore = [&] {
    std::string_view piece = input.substr(0, chunk);
    input.remove_prefix(piece.size());
    return std::string(piece);
  };
  while (nextAnswer(&buffer, ctrlZ, readMore, &answer)) {
    if (answer.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) __builtin_trap();
    if (ctrlZ == CtrlZ::kEndsInput && answer.find('\x1a') != std::string::npos) __builtin_trap();
    ++answers;
    answerBytes += answer.size();
  }
  if (answerBytes > size || answers > size) __builtin_trap();
  return 0;
}
