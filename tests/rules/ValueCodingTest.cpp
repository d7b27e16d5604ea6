#include "rules/ValueCoding.h"

#include <gtest/gtest.h>

namespace quill::rules {
namespace {

struct CodingCase {
  const char* what;
  std::string value;
  std::string stored;
};

void PrintTo(const CodingCase& c, std::ostream* os) { *os << c.what; }

class EncodeTest : public testing::TestWithParam<CodingCase> {};

TEST_P(EncodeTest, EncodesAndDecodesBack) {
  const CodingCase& c = GetParam();
  EXPECT_EQ(EncodeValue(c.value), c.stored);
  EXPECT_EQ(DecodeValue(c.stored), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeTest,
    testing::Values(CodingCase{"plain", "abc", "abc"},
                    CodingCase{"the five specials", "<a href=\"x\">&'", "&lt;a href=&quot;x&quot;&gt;&amp;&apos;"},
                    CodingCase{"an entity is encoded again", "&lt;", "&amp;lt;"},
                    CodingCase{"two-byte characters pass whole", "\xD6\xD0<\xCE\xC4", "\xD6\xD0&lt;\xCE\xC4"},
                    // No trail byte lies below 0x40, so a "lead" byte before a
                    // quote is a byte of its own and the quote is still encoded.
                    CodingCase{"lead byte before a quote", "\x81\"", "\x81&quot;"},
                    CodingCase{"lone lead byte at the end", "x\x81", "x\x81"},
                    CodingCase{"white space stays", " \t\r\n ", " \t\r\n "}));

struct DecodeCase {
  const char* what;
  std::string stored;
  std::string value;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.what; }

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesOnlyTheNamedEntities) {
  EXPECT_EQ(DecodeValue(GetParam().stored), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeTest,
                         testing::Values(DecodeCase{"misspelt quote", "a&quote;b", "a\"b"},
                                         DecodeCase{"other entity stays", "&nbsp;", "&nbsp;"},
                                         DecodeCase{"decimal reference stays", "&#60;", "&#60;"},
                                         DecodeCase{"hex reference stays", "&#x3C;", "&#x3C;"},
                                         DecodeCase{"ampersand without semicolon", "a&lt b&", "a&lt b&"},
                                         DecodeCase{"decoded once only", "&amp;amp;", "&amp;"},
                                         DecodeCase{"raw specials stay", "<\">", "<\">"}));

TEST(DecodeText, TakesCdataVerbatimAndDecodesTheRest) {
  EXPECT_EQ(DecodeText("a&amp;<![CDATA[&amp;<b>]]>&lt;"), "a&&amp;<b><");
  EXPECT_EQ(DecodeText("<![CDATA[x]]><![CDATA[]]>y"), "xy");
  // Not a section without its end: decoded like any text.
  EXPECT_EQ(DecodeText("<![CDATA[&amp;"), "<![CDATA[&");
}

TEST(IsStorableName, RefusesWhatCouldNotBeReadBack) {
  EXPECT_TRUE(IsStorableName("Vellowick"));
  EXPECT_TRUE(IsStorableName("1st/@2"));
  EXPECT_TRUE(IsStorableName("a<b>&\""));
  EXPECT_TRUE(IsStorableName("\xD6\xD0\xCE\xC4"));
  for (const char* bad : {"", "a b", "!x", "?x", "/x", "\x81 "}) EXPECT_FALSE(IsStorableName(bad)) << bad;
}

}  // namespace
}  // namespace quill::rules
