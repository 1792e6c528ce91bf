#include "portable/utf16.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf16, RoundTripsEveryKindOfName) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"C:\\a.rep", u"C:\\a.rep"},
      {"Café 한국 ¥ 表ソ", u"Café 한국 ¥ 表ソ"},
      {"😀", u"\xD83D\xDE00"},
      {"\xED\xA0\xBD", std::u16string(1, u'\xD83D')},  // a lone high surrogate, as Windows allows
      {"a\xED\xB8\x80z", u"a\xDE00z"},                 // a lone low one
      {std::string("\0x", 2), std::u16string(u"\0x", 2)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(Utf16, InvalidBytesBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"\x80", u"\xFFFD"},
      {"a\xC3", u"a\xFFFD"},
      {"\xC0\xAF", u"\xFFFD\xFFFD"},  // an overlong '/'
      {"\xE3\x81z", u"\xFFFD\xFFFDz"},
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
      {"\xF5\x80", u"\xFFFD\xFFFD"},                      // no lead byte of UTF-8
      {"\xF0\x9F\x98", u"\xFFFD\xFFFD\xFFFD"},            // cut short
  };
  for (const Case& c : cases) EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(Utf16, CharacterSplitAcrossReadsIsJoined) {
  char16_t held = 0;
  EXPECT_EQ(utf16ChunkToUtf8(u"a\xD83D", &held), "a");
  EXPECT_EQ(utf16ChunkToUtf8(std::u16string{0xDE00, u'b'}, &held), "😀b");
  EXPECT_EQ(utf16ChunkToUtf8(u"\xD83D", &held), "");
  EXPECT_EQ(utf16ChunkToUtf8(u"", &held), "\xED\xA0\xBD") << "the end of input lets it go";
  EXPECT_EQ(held, 0);
}

}  // namespace
