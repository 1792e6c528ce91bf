#include "replay/header.h"

#include <gtest/gtest.h>

#include "replay_writer.h"

namespace {

std::string codes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(DecodeReplayName, DecodesThroughTheFileSafeAlphabet) {
  struct Case {
    std::string bytes;
    std::string decoded;
  } cases[] = {
      {codes({0, 1, 2, 3, 4, 5, 6, 7}), "ABCDEFGH"},
      {codes({52, 61, 62, 71, 75, 76, 77, 86}), "09+._@$&"},
      {codes({63, 64, 65, 70, 72, 73, 74, 87}), "--------"},  // '/', '*', '?', ... made safe
      {codes({82, 84, 83, 85, 78, 79, 80, 81}), "[[]](){}"},
      {codes({100, 100, 0, 100, 27, 100, 100, 100}), "  A b   "},
      {codes({26, 51, 89, 90, 66, 67, 68, 69}), "az~^=%#!"},
      {codes({25, 1}), "ZBAAAAAA"},  // missing codes count as 0
      {"", "AAAAAAAA"},
  };
  for (const Case& c : cases) {
    std::string name;
    ASSERT_TRUE(decodeReplayName(c.bytes, &name)) << c.decoded;
    EXPECT_EQ(name, c.decoded);
  }
}

TEST(DecodeReplayName, RefusesAnyCodeAbove100AtEveryPosition) {
  for (int bad : {101, 128, 255}) {
    for (std::size_t pos = 0; pos < 8; ++pos) {
      std::string bytes = codes({1, 2, 3, 4, 5, 6, 7, 8});
      bytes[pos] = static_cast<char>(bad);
      std::string name;
      EXPECT_FALSE(decodeReplayName(bytes, &name)) << bad << " at " << pos;
    }
  }
  std::string name;
  EXPECT_TRUE(decodeReplayName(codes({100, 100, 100, 100, 100, 100, 100, 100, 255}), &name))
      << "only the first eight bytes are name codes";
}

TEST(TrimReplayName, RemovesBlanksAtBothEndsOnly) {
  struct Case {
    const char* name;
    const char* trimmed;
  } cases[] = {
      {"  A b   ", "A b"},   {"        ", ""},  {"ABCDEFGH", "ABCDEFGH"},
      {" AB CD  ", "AB CD"}, {"       x", "x"}, {"x       ", "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(trimReplayName(c.name), c.trimmed) << c.name;
}

TEST(DecodeHeaderFields, TakesSignExtendedFieldsAtTheirOffsets) {
  ReplayFields f;
  f.month = 12;
  f.day = 31;
  f.p1Character = 3;
  f.p1FirstCard = 1;
  f.p1SecondCard = 2;
  f.p2Character = 7;
  f.p2FirstCard = 2;
  f.p2SecondCard = 0x80;
  f.stage = 0xFF;
  const ReplayHeader h = decodeHeaderFields(replayBytes(f));
  EXPECT_EQ((std::vector<int>{h.month, h.day, h.p1Character, h.p1FirstCard, h.p1SecondCard,
                              h.p2Character, h.p2FirstCard, h.p2SecondCard, h.stage}),
            (std::vector<int>{12, 31, 3, 1, 2, 7, 2, -128, -1}));
}

TEST(DecodeReplayBytes, RefusesWhatIsNoReplay) {
  struct Case {
    const char* what;
    std::string bytes;
    ReplayStatus status;
  } cases[] = {
      {"empty file", "", ReplayStatus::kAbnormal},
      {"one byte", codes({1}), ReplayStatus::kAbnormal},
      {"66 bytes", std::string(66, '\x01'), ReplayStatus::kAbnormal},
      {"short with a bad code", codes({1, 101}), ReplayStatus::kAbnormal},
      {"67 bytes", std::string(67, '\x01'), ReplayStatus::kOk},
      {"67 bytes, code 255", std::string(7, '\0') + std::string(60, '\xff'),
       ReplayStatus::kAbnormal},
      {"anything after the name", std::string(8, '\x64') + std::string(59, '\xff'),
       ReplayStatus::kOk},
      {"1 MiB", std::string(1 << 20, '\x02'), ReplayStatus::kOk},
  };
  for (const Case& c : cases) {  // a read hands over at most the header's 67 bytes
    EXPECT_EQ(decodeReplayBytes(c.bytes.substr(0, kReplayHeaderSize)).status, c.status) << c.what;
  }
}

TEST(ReplayFileNames, EndInDotRepInAnyCase) {
  for (const char* name : {"a.rep", "A.REP", "b.Rep", ".rep", "x y.rEP", "表.rep"}) {
    EXPECT_TRUE(isReplayFileName(name)) << name;
  }
  for (const char* name : {"rep", "a.re", "a.rep.txt", "a_rep", "a.repx", ".reprename-ab12"}) {
    EXPECT_FALSE(isReplayFileName(name)) << name;
  }
}

}  // namespace
