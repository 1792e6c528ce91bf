#include "portable/answer_reader.h"

namespace {

std::string cleanAnswer(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  std::string answer;
  answer.reserve(raw.size());
  for (char c : raw) {
    if (c != '\r') answer.push_back(c);
  }
  return answer;
}

}  // namespace

void feedAnswerBytes(AnswerBuffer* buffer, std::string_view chunk, CtrlZ ctrlZ) {
  if (buffer->ended) return;
  if (chunk.empty()) {
    buffer->ended = true;
    return;
  }
  if (ctrlZ == CtrlZ::kEndsInput) {
    std::size_t stop = chunk.find('\x1a');
    if (stop != std::string_view::npos) {
      chunk = chunk.substr(0, stop);
      buffer->ended = true;
    }
  }
  buffer->pending.append(chunk);
}

AnswerStatus takeAnswer(AnswerBuffer* buffer, std::string* answer) {
  std::size_t end = buffer->pending.find('\n');
  if (end != std::string::npos) {
    *answer = cleanAnswer(std::string_view(buffer->pending).substr(0, end));
    buffer->pending.erase(0, end + 1);
    return AnswerStatus::kAnswer;
  }
  if (!buffer->ended) return AnswerStatus::kNeedMore;
  if (buffer->pending.empty()) return AnswerStatus::kEnded;
  // A last line without a line feed is still an answer.
  *answer = cleanAnswer(buffer->pending);
  buffer->pending.clear();
  return AnswerStatus::kAnswer;
}

bool nextAnswer(AnswerBuffer* buffer, CtrlZ ctrlZ, const std::function<std::string()>& readMore,
                std::string* answer) {
  for (;;) {
    switch (takeAnswer(buffer, answer)) {
      case AnswerStatus::kAnswer:
        return true;
      case AnswerStatus::kEnded:
        return false;
      case AnswerStatus::kNeedMore:
        feedAnswerBytes(buffer, readMore(), ctrlZ);
        break;
    }
  }
}

std::string withoutEnclosingQuotes(std::string answer) {
  if (answer.size() >= 2 && answer.front() == '"' && answer.back() == '"' &&
      answer.find('"', 1) == answer.size() - 1) {
    return answer.substr(1, answer.size() - 2);
  }
  return answer;
}
