#pragma once

#include <functional>
#include <string>
#include <string_view>

// Whether the byte 0x1A (Ctrl+Z) ends the input, as it does on a Windows console.
enum class CtrlZ { kEndsInput, kOrdinary };

// Bytes of standard input not yet taken as answers.
struct AnswerBuffer {
  std::string pending;
  bool ended = false;  // no more bytes will come
};

// Adds bytes read from standard input; an empty chunk means the input has ended.
void feedAnswerBytes(AnswerBuffer* buffer, std::string_view chunk, CtrlZ ctrlZ);

enum class AnswerStatus { kAnswer, kNeedMore, kEnded };

// Takes the next answer: the bytes up to a line feed, or the rest once the input has ended.
// Carriage returns are dropped, and an answer stops at a NUL byte, since no path can hold one.
AnswerStatus takeAnswer(AnswerBuffer* buffer, std::string* answer);

// Takes the next answer, calling `readMore` for bytes while none is complete; `readMore` returns
// an empty text at the end of input. Returns false when the input ended before an answer.
bool nextAnswer(AnswerBuffer* buffer, CtrlZ ctrlZ, const std::function<std::string()>& readMore,
                std::string* answer);

// A Windows answer enclosed in one pair of double quotes, as Explorer's "Copy as path" and a
// folder dragged onto the console give it, without them. No Windows path holds a double quote,
// so this changes the meaning of no valid answer.
std::string withoutEnclosingQuotes(std::string answer);
