#include "web/PageDecoding.h"

#include <gtest/gtest.h>

namespace quill::web {
namespace {

struct LocalCase {
  const char* what;
  std::string utf8, local;
};

void PrintTo(const LocalCase& c, std::ostream* os) { *os << c.what; }

class Utf8ToLocalTest : public testing::TestWithParam<LocalCase> {};

TEST_P(Utf8ToLocalTest, GivesCodePage936) {
  const LocalCase& c = GetParam();
  EXPECT_EQ(Utf8ToLocal(c.utf8), c.local);
  // The definition through UTF-16 gives the same text.
  EXPECT_EQ(FromUtf16(ToUtf16(c.utf8), 936), c.local);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToLocalTest,
    testing::Values(
        LocalCase{"two Chinese characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
        LocalCase{"ASCII unchanged", "<p>Chapter 1: a=b&c</p>\r\n", "<p>Chapter 1: a=b&c</p>\r\n"},
        LocalCase{"empty", "", ""},
        LocalCase{"the text ends at its first zero byte", std::string("ab\0\xE4\xB8\xAD", 5), "ab"},
        LocalCase{"stray continuation byte", "a\x80" "b", "a?b"},
        LocalCase{"truncated sequence is one replacement", "\xE4\xB8" "a", "?a"},
        LocalCase{"overlong form: one per byte", "\xC0\xAF", "??"},
        LocalCase{"invalid lead before ASCII", "\xC0\x41", "?A"},
        LocalCase{"encoded surrogate", "\xED\xA0\x80", "???"},
        LocalCase{"outside the BMP", "x\xF0\x9F\x98\x80y", "x?y"},
        LocalCase{"Hangul is not in code page 936", "\xEA\xB0\x80\xEA\xB0\x81", "??"},
        LocalCase{"euro sign is one byte", "\xE2\x82\xAC", "\x80"},
        LocalCase{"full-width punctuation", "\xEF\xBC\x8C\xE3\x80\x82", "\xA3\xAC\xA1\xA3"}));

std::string Units(std::u16string_view units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

TEST(ToUtf16, GivesLittleEndianUnitsEndingInZero) {
  EXPECT_EQ(ToUtf16("abc"), Units(std::u16string(u"abc\0", 4)));
  EXPECT_EQ(ToUtf16(""), std::string(2, '\0'));
  EXPECT_EQ(ToUtf16("\xD6\xD0", 936), Units(std::u16string(u"\u4E2D\0", 2)));
  EXPECT_EQ(ToUtf16("\xD6\xD0", 0), Units(std::u16string(u"\u4E2D\0", 2)));
}

TEST(ToUtf16, RoomCountedInTheAnsiReadingLeavesZeroUnitsAfter) {
  // Read as code page 936 the six bytes are three characters, so the room
  // holds four units; as UTF-8 they are two.
  EXPECT_EQ(ToUtf16("\xE4\xB8\xAD\xE6\x96\x87"), Units(std::u16string(u"\u4E2D\u6587\0\0", 4)));
}

TEST(ToUtf16, RoomGrowsWhenTheConversionNeedsMore) {
  // C0 41 is one code-page-936 character but two UTF-16 units as UTF-8: a
  // room of two units would lose the 'A'.
  EXPECT_EQ(ToUtf16("\xC0\x41"), Units(std::u16string(u"\uFFFDA\0", 3)));
}

TEST(ToUtf16, UnknownCodePageGivesOnlyZeros) {
  EXPECT_EQ(ToUtf16("ab", 1252), std::string(6, '\0'));
}

TEST(FromUtf16, ReadsUpToTheFirstZeroUnit) {
  EXPECT_EQ(FromUtf16(Units(std::u16string(u"a\u4E2D\0b", 4))), "a\xD6\xD0");
  EXPECT_EQ(FromUtf16(Units(u"\u4E2D"), 936), "\xD6\xD0");
  EXPECT_EQ(FromUtf16(""), "");
  EXPECT_EQ(FromUtf16("a"), "");  // half a unit
}

TEST(FromUtf16, WholeConversionEvenWhenTheAnsiCountIsSmaller) {
  // Each Hangul syllable is one '?' in code page 936 but three UTF-8 bytes:
  // twice the ANSI count is too small a room for them.
  EXPECT_EQ(FromUtf16(Units(u"\uAC00\uAC01\uAC02"), 65001), "\xEA\xB0\x80\xEA\xB0\x81\xEA\xB0\x82");
}

TEST(FromUtf16, UnknownCodePageGivesAnEmptyText) { EXPECT_EQ(FromUtf16(Units(u"ab"), 1252), ""); }

}  // namespace
}  // namespace quill::web
