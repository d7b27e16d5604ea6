#include "text/Codec.h"

#include <gtest/gtest.h>

namespace quill::text {
namespace {

TEST(Codec, ChineseRoundTripsThroughEveryForm) {
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  EXPECT_EQ(Cp936(utf8), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(Utf8("\xD6\xD0\xCE\xC4"), utf8);
  EXPECT_EQ(Cp936ToUtf16("\xD6\xD0"), u"\u4E2D");
  EXPECT_EQ(Utf16ToCp936(u"a\u4E2D"), "a\xD6\xD0");
  EXPECT_EQ(Cp936("下载完毕"), "\xCF\xC2\xD4\xD8\xCD\xEA\xB1\xCF");
  EXPECT_EQ(Cp936("\xE2\x82\xAC"), "\x80");  // the euro sign is one byte
}

TEST(Codec, InvalidUtf8BecomesOneReplacementPerMaximalSubpart) {
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");          // truncated: one subpart
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8" "a"), u"\uFFFDa");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong
}

TEST(Codec, WhatCodePage936CannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(Utf16ToCp936(u"\uFFFD"), "?");
  EXPECT_EQ(Utf16ToCp936(u"\U0001F600"), "?");
  EXPECT_EQ(Utf16ToCp936(u"\xD800x"), "?x");
}

TEST(Codec, UserDefinedAreasRoundTripThroughThePrivateUseArea) {
  EXPECT_EQ(Cp936ToUtf16("\xAA\xA1"), u"\uE000");
  EXPECT_EQ(Cp936ToUtf16("\xFE\xFE"), u"\uE4C5");
  EXPECT_EQ(Cp936ToUtf16("\xA1\x40"), u"\uE4C6");
  EXPECT_EQ(Cp936ToUtf16("\xA7\xA0"), u"\uE765");
  // UTF-8 read as code page 936 by mistake comes back byte for byte.
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";
  EXPECT_EQ(Utf16ToCp936(Cp936ToUtf16(utf8)), utf8);
}

TEST(Codec, MalformedCodePage936DecodesToQuestionMarks) {
  EXPECT_EQ(Cp936ToUtf16("\xD6"), u"?");        // lone lead byte at the end
  EXPECT_EQ(Cp936ToUtf16("\xD6" "\x0A" "a"), u"?\na");  // the next byte is read afresh
  EXPECT_EQ(Cp936ToUtf16("\xFF" "a"), u"?a");
}

}  // namespace
}  // namespace quill::text
