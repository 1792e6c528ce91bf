#include "portable/answer_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Feeds the chunks (then the end of input) and collects every answer.
std::vector<std::string> answersOf(std::vector<std::string> chunks, CtrlZ ctrlZ) {
  AnswerBuffer buffer;
  std::vector<std::string> answers;
  std::string answer;
  std::size_t next = 0;
  auto readMore = [&] { return next < chunks.size() ? chunks[next++] : std::string(); };
  while (nextAnswer(&buffer, ctrlZ, readMore, &answer)) answers.push_back(answer);
  EXPECT_EQ(takeAnswer(&buffer, &answer), AnswerStatus::kEnded);
  return answers;
}

using Answers = std::vector<std::string>;

TEST(AnswerReader, SplitsLinesAndDropsCarriageReturns) {
  struct Case {
    std::vector<std::string> chunks;
    Answers answers;
  } cases[] = {
      {{"a\nb\n"}, {"a", "b"}},
      {{"\n\n"}, {"", ""}},
      {{"C:\\out\r\n"}, {"C:\\out"}},
      {{"a\rb\r\r\n"}, {"ab"}},
      {{"last"}, {"last"}},  // a last line without a line feed
      {{"x\nlast"}, {"x", "last"}},
      {{"ab", "c\nd", "e"}, {"abc", "de"}},
      {{}, {}},
      {{"\r"}, {""}},
      {{std::string("a\0b\n", 4)}, {"a"}},  // nothing after a NUL
      {{"\x1a\n"}, {"\x1a"}},               // Ctrl+Z is an ordinary byte here
  };
  for (const Case& c : cases) EXPECT_EQ(answersOf(c.chunks, CtrlZ::kOrdinary), c.answers);
}

TEST(AnswerReader, CtrlZEndsTheInputWhereItEndsIt) {
  struct Case {
    std::vector<std::string> chunks;
    Answers answers;
  } cases[] = {
      {{"\x1a"}, {}},       {{"\x1a\r\n", "more\n"}, {}},          {{"a\n\x1a\nb\n"}, {"a"}},
      {{"ab\x1a"}, {"ab"}}, {{"a\n", "b\x1a", "c\n"}, {"a", "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(answersOf(c.chunks, CtrlZ::kEndsInput), c.answers);
}

TEST(AnswerReader, OnePairOfEnclosingQuotesIsDropped) {
  struct Case {
    const char* answer;
    const char* taken;
  } cases[] = {
      {"\"C:\\My Replays\"", "C:\\My Replays"},
      {"\"\"", ""},
      {"\"", "\""},
      {"\"a\"b\"", "\"a\"b\""},
      {"a\"b\"", "a\"b\""},
      {" \"a\"", " \"a\""},
      {"\"表\"", "表"},
      {"\"a", "\"a"},
  };
  for (const Case& c : cases) EXPECT_EQ(withoutEnclosingQuotes(c.answer), c.taken) << c.answer;
}

}  // namespace
