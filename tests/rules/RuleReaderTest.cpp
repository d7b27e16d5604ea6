#include "rules/RuleReader.h"

#include <gtest/gtest.h>

#include <optional>

#include "rules/RuleStore.h"
#include "rules/RuleWriter.h"

namespace quill::rules {
namespace {

using namespace std::string_literals;

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"gb18030\"?>";

// What a read followed by a write gives, or none when the bytes do not parse.
std::optional<std::string> Normalised(std::string_view bytes) {
  std::optional<RuleDocument> doc = ReadRuleDocument(bytes);
  if (!doc) return std::nullopt;
  return WriteRuleDocument(*doc);
}

struct ReadCase {
  const char* what;
  std::string input;
  std::optional<std::string> written;  // after kDecl; none: does not parse
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

class ReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadTest, ParsesAndWritesInTheFileLayout) {
  const ReadCase& c = GetParam();
  std::optional<std::string> got = Normalised(c.input);
  if (!c.written) {
    EXPECT_FALSE(got) << *got;
    return;
  }
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, kDecl + *c.written);
  // What the writer produces reads back to the same document.
  EXPECT_EQ(Normalised(*got), got);
}

const std::nullopt_t kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Accepted, ReadTest,
    testing::Values(
        ReadCase{"empty element closes itself", "<a></a>", "\r\n<a/>"},
        ReadCase{"declaration, doctype and white space around the root",
                 " <?xml version=\"1.0\"?>\r\n<!DOCTYPE a>\n<a/>\r\n\t ", "\r\n<a/>"},
        ReadCase{"one tab per level", "<a><b><c/></b><d x=\"1\"/></a>",
                 "\r\n<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n\t<d x=\"1\"/>\r\n</a>"},
        ReadCase{"text trimmed at both ends, inner white space kept", "<a> \t\r\n x \t y\r\n </a>", "\r\n<a>x \t y</a>"},
        ReadCase{"text before the children", "<a>t<b/></a>", "\r\n<a>t\r\n\t<b/>\r\n</a>"},
        ReadCase{"pieces of text around children join", "<a>x<b/>y</a>", "\r\n<a>xy\r\n\t<b/>\r\n</a>"},
        ReadCase{"comments vanish wherever they stand",
                 "<!-- head --><a><!--x--><b <!-- in a tag -->y=\"1\"/><!----></a><!-- tail -->",
                 "\r\n<a>\r\n\t<b y=\"1\"/>\r\n</a>"},
        ReadCase{"a comment opener formed by removing a comment goes too",
                 "<a x=\"<!<!--y-->--z-->\"/>", "\r\n<a x=\"\"/>"},
        ReadCase{"processing instruction and <! construct in content are skipped",
                 "<a>x<?pi y?><!ELEMENT a>z</a>", "\r\n<a>xz</a>"},
        ReadCase{"CDATA kept verbatim with its markers", "<a> <![CDATA[ <b>&amp; ]]> </a>",
                 "\r\n<a><![CDATA[ <b>&amp; ]]></a>"},
        ReadCase{"attribute values verbatim, spaces and raw specials included",
                 "<a  x=\" <&> \"   y=\"\"  />", "\r\n<a x=\" <&> \" y=\"\"/>"},
        ReadCase{"attributes keep their order and duplicates", "<a z=\"1\" y=\"2\" z=\"3\"/>",
                 "\r\n<a z=\"1\" y=\"2\" z=\"3\"/>"},
        ReadCase{"names are not validated", "<1\xD6\xD0 x=\"\"><a/b/><c/ x=\"\"/></1\xD6\xD0>",
                 "\r\n<1\xD6\xD0 x=\"\">\r\n\t<a/b/>\r\n\t<c/ x=\"\"/>\r\n</1\xD6\xD0>"},
        ReadCase{"end tag with trailing spaces", "<a><b></b  ></a >", "\r\n<a>\r\n\t<b/>\r\n</a>"},
        ReadCase{"lead byte before the closing quote", "<a x=\"\x81\">\x81</a>", "\r\n<a x=\"\x81\">\x81</a>"},
        ReadCase{"zero bytes are ordinary bytes", "<a x=\"\0\">\0</a>"s,
                 "\r\n<a x=\"\0\">\0</a>"s}));

INSTANTIATE_TEST_SUITE_P(
    Refused, ReadTest,
    testing::Values(ReadCase{"empty file", "", kNone},
                    ReadCase{"only white space and a declaration", " <?xml version=\"1.0\"?>\r\n", kNone},
                    ReadCase{"unclosed root", "<a>", kNone},
                    ReadCase{"unclosed child", "<a><b></a>", kNone},
                    ReadCase{"mismatched end tag", "<a></b>", kNone},
                    ReadCase{"end tag differs in case", "<a></A>", kNone},
                    ReadCase{"stray end tag", "</a>", kNone},
                    ReadCase{"second root", "<a/><b/>", kNone},
                    ReadCase{"text after the root", "<a/>x", kNone},
                    ReadCase{"text before the root", "x<a/>", kNone},
                    ReadCase{"unclosed comment", "<a/><!-- x", kNone},
                    ReadCase{"unclosed CDATA", "<a><![CDATA[x</a>", kNone},
                    ReadCase{"unclosed processing instruction", "<a><?x</a>", kNone},
                    ReadCase{"tag cut off", "<a x=\"1\"", kNone},
                    ReadCase{"value without quotes", "<a x=1/>", kNone},
                    ReadCase{"value not closed", "<a x=\"1/>", kNone},
                    ReadCase{"attribute without value", "<a x/>", kNone},
                    ReadCase{"space before the equals sign", "<a x =\"1\"/>", kNone},
                    ReadCase{"empty element name", "<a>< x=\"1\"/></a>", kNone},
                    ReadCase{"binary noise", "\x00\xFF<\x81>\x01"s, kNone}));

TEST(RuleReader, EveryCutOfAValidFileFailsCleanly) {
  const std::string whole = RuleStore::DefaultFileBytes();
  ASSERT_TRUE(ReadRuleDocument(whole));
  // Every proper prefix lacks at least the root's end.
  for (size_t n = 0; n < whole.size(); ++n) EXPECT_FALSE(ReadRuleDocument(whole.substr(0, n))) << n;
}

TEST(RuleReader, NestingIsBounded) {
  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<a>";
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
  };
  std::optional<RuleDocument> deepest = ReadRuleDocument(nested(kMaxElementDepth));
  ASSERT_TRUE(deepest);
  EXPECT_EQ(ReadRuleDocument(WriteRuleDocument(*deepest)), deepest);
  EXPECT_FALSE(ReadRuleDocument(nested(kMaxElementDepth + 1)));
  EXPECT_TRUE(ReadRuleDocument(nested(kMaxElementDepth - 1).insert(3 * (kMaxElementDepth - 1), "<b/>")));
  EXPECT_FALSE(ReadRuleDocument(nested(kMaxElementDepth).insert(3 * kMaxElementDepth, "<b/>")));
  // Far deeper than any stack would take with one call per level.
  EXPECT_FALSE(ReadRuleDocument(nested(1'000'000)));
  EXPECT_FALSE(ReadRuleDocument(std::string(1'000'000, '<')));
}

TEST(RuleReader, HugeValuesAndManyElements) {
  const std::string value(8 << 20, 'v');
  std::optional<RuleDocument> doc = ReadRuleDocument("<a x=\"" + value + "\">" + value + "</a>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->root.attributes.at(0).value.size(), value.size());
  EXPECT_EQ(doc->root.text.size(), value.size());

  std::string many = "<a>";
  for (int i = 0; i < 100'000; ++i) many += "<b x=\"1\"/>";
  doc = ReadRuleDocument(many + "</a>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->root.children.size(), 100'000u);
}

}  // namespace
}  // namespace quill::rules
