#include "extract/RegexObject.h"

#include <gtest/gtest.h>

#include "text/Codec.h"

namespace quill::extract {
namespace {

using text::Cp936;
using text::Utf8;

// The second default rule's patterns, as the rule file stores them decoded.
const char* const kList = R"re(<li><a href="/(.*?)">(.*?)</a></li>)re";
const char* const kAuthor = R"re(作者：<span><a href="/search.php\?q=(.*?)" target=_blank>)re";

// "index:text(capture,capture)" per match, in UTF-8.
std::string Render(const RegexObject& r) {
  std::string s;
  for (int i = 1; i <= r.MatchCount(); ++i) {
    if (i > 1) s += ' ';
    s += std::to_string(r.FirstIndex(i)) + ':' + Utf8(r.MatchText(i));
    if (r.SubmatchCount() > 0) {
      s += '(';
      for (int k = 1; k <= r.SubmatchCount(); ++k) s += (k > 1 ? "," : "") + Utf8(r.SubmatchText(i, k));
      s += ')';
    }
  }
  return s;
}

TEST(RegexObject, ListsChaptersOfAnIndexPage) {
  const std::string page = Cp936(
      "<ul>\n<li><a href=\"/8/1.html\">第一章 起</a></li>\n"
      "<li><a href=\"/8/2.html\">第二章　承</a></li>\n"
      "<li><a href=\"/8/3.html\">第三章</a></li>\n</ul>");
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936(kList), page));
  EXPECT_EQ(r.MatchCount(), 3);
  EXPECT_EQ(r.SubmatchCount(), 2);
  EXPECT_EQ(r.SubmatchText(2, 1), "8/2.html");
  EXPECT_EQ(r.SubmatchText(2, 2), Cp936("第二章　承"));
  EXPECT_EQ(r.SubmatchText(3, 2), Cp936("第三章"));
  EXPECT_EQ(r.MatchText(1), Cp936("<li><a href=\"/8/1.html\">第一章 起</a></li>"));
  // No such match or capture: empty.
  EXPECT_EQ(r.SubmatchText(4, 1), "");
  EXPECT_EQ(r.SubmatchText(0, 1), "");
  EXPECT_EQ(r.SubmatchText(1, 3), "");
  EXPECT_EQ(r.SubmatchText(1, 0), "");
  EXPECT_EQ(r.MatchText(0), "");
}

TEST(RegexObject, ItemBrokenAcrossLinesIsNotMatched) {
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936(kList), Cp936("<li><a href=\"/1.html\">一</a></li>\n"
                                            "<li><a href=\"/2.html\">二\n</a></li>\n"
                                            "<li><a href=\"/3.html\">三</a></li>\r\n")));
  EXPECT_EQ(Render(r), "0:<li><a href=\"/1.html\">一</a></li>(1.html,一) "
                       "67:<li><a href=\"/3.html\">三</a></li>(3.html,三)");
}

TEST(RegexObject, CaseIgnoredByDefault) {
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936(kList), Cp936("<LI><A HREF=\"/x.html\">甲</A></LI>")));
  EXPECT_EQ(r.SubmatchText(1, 1), "x.html");
  ASSERT_TRUE(r.Create(Cp936(kList), Cp936("<LI><A HREF=\"/x.html\">甲</A></LI>"), true));
  EXPECT_EQ(r.MatchCount(), 0);
}

TEST(RegexObject, EscapedQuestionMarkIsLiteral) {
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936(kAuthor),
                       Cp936("<p>作者：<span><a href=\"/search.php?q=无名\" target=_blank>无名</a>")));
  EXPECT_EQ(r.SubmatchText(1, 1), Cp936("无名"));
  // Without the escape "?" makes the "p" optional and the literal "?" is missing.
  ASSERT_TRUE(r.Create(Cp936("search.php?q=(.*?)\""), Cp936("search.php?q=x\"")));
  EXPECT_EQ(r.MatchCount(), 0);
}

TEST(RegexObject, FailedCreateLeavesNothing) {
  RegexObject r;
  ASSERT_TRUE(r.Create("(a)(b)", "ab"));
  ASSERT_EQ(r.MatchCount(), 1);
  EXPECT_FALSE(r.Create("(a(b)", "ab"));
  EXPECT_EQ(r.MatchCount(), 0);
  EXPECT_EQ(r.SubmatchCount(), 0);
  EXPECT_EQ(r.MatchText(1), "");
  EXPECT_EQ(r.SubmatchText(1, 1), "");
  EXPECT_EQ(r.GetPattern(), "");
  EXPECT_EQ(r.Replace("x"), "");
  EXPECT_EQ(r.FirstIndex(1), -1);
}

TEST(RegexObject, NothingMatched) {
  RegexObject r;
  ASSERT_TRUE(r.Create("(a)(b)", "xyz"));
  EXPECT_EQ(r.MatchCount(), 0);
  EXPECT_EQ(r.SubmatchCount(), 0);
  EXPECT_EQ(r.SubmatchText(1, 1), "");
  EXPECT_EQ(r.GetPattern(), "(a)(b)");
  // Over an empty page, too.
  ASSERT_TRUE(r.Create(Cp936(kList), ""));
  EXPECT_EQ(r.MatchCount(), 0);
}

TEST(RegexObject, SubmatchCountIncludesGroupsThatTookNoPart) {
  RegexObject r;
  ASSERT_TRUE(r.Create("(a)|(b)(c)?", "b"));
  EXPECT_EQ(r.SubmatchCount(), 3);
  EXPECT_EQ(Render(r), "0:b(,b,)");
}

TEST(RegexObject, QuoteMarker) {
  const std::string pattern = Cp936("href=#引号(.*?)#引号");
  const std::string page = Cp936("<a href=\"x.html\"> href=#引号y#引号");
  RegexObject r;
  ASSERT_TRUE(r.Create(pattern, page, {}, {}, {}, true));
  EXPECT_EQ(r.GetPattern(), "href=\"(.*?)\"");
  EXPECT_EQ(r.SubmatchText(1, 1), "x.html");
  EXPECT_EQ(r.MatchCount(), 1);
  ASSERT_TRUE(r.Create(pattern, page, {}, {}, {}, false));
  EXPECT_EQ(r.GetPattern(), pattern);
  EXPECT_EQ(r.SubmatchText(1, 1), "y");
  ASSERT_TRUE(r.Create(pattern, page));
  EXPECT_EQ(r.SubmatchText(1, 1), "y");
}

TEST(RegexObject, SuppliedFlagsOverrideTheDefaults) {
  const std::string page = "ab\nAb\nab";
  RegexObject r;
  ASSERT_TRUE(r.Create("^a", page));
  EXPECT_EQ(Render(r), "0:a 3:A 6:a");
  ASSERT_TRUE(r.Create("^a", page, true));
  EXPECT_EQ(Render(r), "0:a 6:a");
  ASSERT_TRUE(r.Create("^a", page, false, false));
  EXPECT_EQ(Render(r), "0:a");
  ASSERT_TRUE(r.Create("b$", page, false, false));
  EXPECT_EQ(Render(r), "7:b");
  ASSERT_TRUE(r.Create("a", page, false, true, false));
  EXPECT_EQ(Render(r), "0:a");
}

TEST(RegexObject, Replace) {
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936("(\\d+)章"), Cp936("第1章 第22章")));
  EXPECT_EQ(r.Replace(Cp936("[$1]回")), Cp936("第[1]回 第[22]回"));
  ASSERT_TRUE(r.Create(Cp936("(\\d+)章"), Cp936("第1章 第22章"), {}, {}, false));
  EXPECT_EQ(r.Replace("$$$&$2"), Cp936("第$1章$2 第22章"));
  // The quote marker is the pattern's affair only.
  ASSERT_TRUE(r.Create(Cp936("#引号"), "a\"b", {}, {}, {}, true));
  EXPECT_EQ(r.Replace(Cp936("#引号")), Cp936("a#引号b"));
}

// Positions: the search for the text starts at the match's UTF-16 index taken
// as a 1-based byte position; 0-based result, -2 when the text is not there.
struct PositionCase {
  const char* what;
  std::string pattern, subject;
  bool caseSensitive;
  int match, capture;  // capture 0: the match itself
  int expected;
};

void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.what; }

class RegexPosition : public testing::TestWithParam<PositionCase> {};

TEST_P(RegexPosition, IsFoundFromTheMatchIndex) {
  const PositionCase& c = GetParam();
  RegexObject r;
  ASSERT_TRUE(r.Create(c.pattern, c.subject, c.caseSensitive));
  int position = 12345;
  std::string t = c.capture == 0 ? r.MatchText(c.match, &position) : r.SubmatchText(c.match, c.capture, &position);
  EXPECT_EQ(position, c.expected);
  int again = 12345;
  std::string t2 = c.capture == 0 ? r.MatchText(c.match, &again) : r.SubmatchText(c.match, c.capture, &again);
  EXPECT_EQ(t, t2);
  EXPECT_EQ(again, c.expected) << "asked twice";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexPosition,
    testing::Values(
        PositionCase{"index 3 starts at the two-byte character", "c", Cp936("ab中c"), false, 1, 0, 4},
        // Index 2 is the second byte of the first character; reading from there
        // would pair bytes across characters and miss the letter.
        PositionCase{"a start on a trail byte moves to the next character", "c", Cp936("中中c"), false, 1, 0, 4},
        PositionCase{"after many two-byte characters", Cp936("文"), Cp936("中中中中中文"), false, 1, 0, 10},
        PositionCase{"an equal text just before the match is taken", "a", "aa", false, 2, 0, 0},
        PositionCase{"first match at index 0", "b", "bb", false, 1, 0, 0},
        PositionCase{"equal text found ignoring ASCII case", "b", "xbB", false, 2, 0, 1},
        PositionCase{"exact when the engine keeps case", "[bB]", "xbB", true, 2, 0, 2},
        PositionCase{"a capture is searched from its match", "a(b)=(b)", "ab=b", false, 1, 2, 1},
        PositionCase{"capture in a later match", "k=(v)", "k=v;k=v", false, 2, 1, 6},
        PositionCase{"text the local page does not hold: -2", "\\?", "\xFFx", false, 1, 0, -2},
        PositionCase{"no such match: the empty text at the start", "x", "abc", false, 5, 0, 0},
        PositionCase{"a capture that took no part: the empty text", "(a)|b", "xb", false, 1, 1, 0}));

// The dialect where it departs from PCRE2's own reading, and the constructs it
// does not have. "error" means Create fails.
struct DialectCase {
  const char* what;
  const char* pattern;
  const char* subject;
  const char* flags;  // i, m, g as in JavaScript
  const char* expected;
};

void PrintTo(const DialectCase& c, std::ostream* os) { *os << c.what; }

class RegexDialect : public testing::TestWithParam<DialectCase> {};

TEST_P(RegexDialect, Matches) {
  const DialectCase& c = GetParam();
  std::string flags = c.flags;
  auto has = [&](char f) { return flags.find(f) != std::string::npos; };
  RegexObject r;
  bool ok = r.Create(Cp936(c.pattern), Cp936(c.subject), !has('i'), has('m'), has('g'));
  EXPECT_EQ(ok ? Render(r) : std::string("error"), c.expected) << "/" << c.pattern << "/" << c.flags;
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, RegexDialect,
    testing::Values(
        DialectCase{"^ matches between CR and LF", "^", "a\r\nb", "img", "0: 2: 3:"},
        DialectCase{"$ matches before CR and before LF", "$", "a\r\nb", "img", "1: 2: 4:"},
        DialectCase{"^ after a final line feed", "^", "a\n", "img", "0: 2:"},
        DialectCase{"without multiline ^ is the start only", "^b|^a", "a\nb", "ig", "0:a"},
        DialectCase{"without multiline $ is the very end only", "a$", "a\na\n", "ig", ""},
        DialectCase{". stops at CR and LF, not at VT or FF", ".+", "a\vb\fc\rd\ne", "img",
                    "0:a\vb\fc 6:d 8:e"},
        DialectCase{"\\v is the vertical tab alone", "\\v", "\n\v\f\r", "img", "1:\v"}));

INSTANTIATE_TEST_SUITE_P(
    Classes, RegexDialect,
    testing::Values(
        DialectCase{"\\s is ASCII: no full-width space", "\\s+", "a　b c", "img", "3: "},
        DialectCase{"\\S takes the full-width space", "\\S+", "a　b c", "img", "0:a　b 4:c"},
        DialectCase{"\\w is ASCII", "\\w+", "中abc文_1", "img", "1:abc 5:_1"},
        DialectCase{"\\b: Chinese is no word character", "\\b", "中ab", "img", "1: 3:"},
        DialectCase{"[^] takes a line feed", "[^]", "\n", "img", "0:\n"},
        DialectCase{"[] matches nothing", "a[]|b", "ab", "img", "1:b"},
        DialectCase{"no POSIX classes", "[[:alpha:]]", "a]", "img", "0:a]"},
        DialectCase{"a class escape cannot bound a range", "[\\d-z]+", "5-zy", "img", "0:5-z"},
        DialectCase{"full-width letters fold", "ａ+", "ａＡ", "img", "0:ａＡ"},
        DialectCase{"Cyrillic folds", "привет", "ПРИВЕТ", "img", "0:ПРИВЕТ"}));

INSTANTIATE_TEST_SUITE_P(
    Escapes, RegexDialect,
    testing::Values(
        DialectCase{"PCRE2's escapes are letters", "\\h\\R\\K\\A\\z\\G\\p\\e\\N", "hRKAzGpeN", "img",
                    "0:hRKAzGpeN"},
        DialectCase{"no quoting with \\Q", "\\Qa.b\\E", "Qa.bE QaxbE", "img", "0:Qa.bE 6:QaxbE"},
        DialectCase{"\\x{...} is x repeated", "\\x{2}", "x{2} xx", "img", "5:xx"},
        DialectCase{"back-reference to a group that took no part is empty", "(a)|\\1b", "b", "img", "0:b()"},
        DialectCase{"forward back-reference is empty", "\\1(a)", "a", "img", "0:a(a)"},
        DialectCase{"more digits than groups: octal", "(a)\\10", "a\b", "img", "0:a\b(a)"},
        DialectCase{"\\8 without groups is the digit", "\\8", "8", "img", "0:8"},
        DialectCase{"\\c without a letter is a backslash", "\\c1", "\\c1", "img", "0:\\c1"},
        DialectCase{"a brace that is no quantifier is literal", "a{,2}", "a{,2}", "img", "0:a{,2}"},
        DialectCase{"a callout is no group", "(?C)a", "a", "img", "error"}));

INSTANTIATE_TEST_SUITE_P(
    EmptyMatches, RegexDialect,
    testing::Values(
        DialectCase{"one code unit on after an empty match", "a*|b", "baa", "img", "0: 1:aa 3:"},
        DialectCase{"empty matches between Chinese characters", "x*", "中文", "img", "0: 1: 2:"},
        DialectCase{"between CR and LF", "(?:)", "\r\n", "img", "0: 1: 2:"},
        DialectCase{"non-global: the first only", "x*", "ab", "im", "0:"}));

INSTANTIATE_TEST_SUITE_P(
    NotInTheDialect, RegexDialect,
    testing::Values(
        DialectCase{"lookbehind", "(?<=a)b", "ab", "img", "error"},
        DialectCase{"negative lookbehind", "(?<!a)b", "cb", "img", "error"},
        DialectCase{"named group", "(?<n>a)\\k<n>", "aa", "img", "error"},
        DialectCase{"atomic group", "(?>a)", "a", "img", "error"},
        DialectCase{"possessive quantifier", "a*+", "a", "img", "error"},
        DialectCase{"possessive braces", "a{2}+", "aa", "img", "error"},
        DialectCase{"inline flags", "(?i)a", "a", "img", "error"},
        DialectCase{"inline flag group", "(?s:.)", "a", "img", "error"},
        DialectCase{"branch reset", "(?|a)", "a", "img", "error"},
        DialectCase{"recursion", "(a)(?1)", "aa", "img", "error"},
        DialectCase{"verbs", "(*UTF)a", "a", "img", "error"},
        DialectCase{"unbalanced parenthesis", "(a", "a", "img", "error"},
        DialectCase{"stray closing parenthesis", "a)", "a", "img", "error"},
        DialectCase{"unterminated class", "[a", "a", "img", "error"},
        DialectCase{"range out of order", "[z-a]", "a", "img", "error"},
        DialectCase{"nothing to repeat", "*a", "a", "img", "error"},
        DialectCase{"repeated assertion", "\\b+", "a", "img", "error"},
        DialectCase{"quantifier after quantifier", "a{1}{2}", "a", "img", "error"},
        DialectCase{"braced quantifier alone", "{1}", "{1}", "img", "error"},
        DialectCase{"trailing backslash", "a\\", "a\\", "img", "error"},
        DialectCase{"repeat count beyond PCRE2's", "a{65536}", "a", "img", "error"}));

TEST(RegexObject, DefaultRulesTitleAndAuthor) {
  const std::string page = Cp936(
      "<meta property=\"og:novel:book_name\" content=\"星 辰　河\"/>\r\n"
      "<meta property=\"og:novel:author\" content=\"青石\"/>\r\n<script>var b_tit='天下',b_id=1;</script>");
  RegexObject r;
  ASSERT_TRUE(r.Create(Cp936(R"re(<meta property="og:novel:book_name" content="(.*?)"/>)re"), page));
  EXPECT_EQ(r.SubmatchText(1, 1), Cp936("星 辰　河"));
  ASSERT_TRUE(r.Create(Cp936(R"re(<meta property="og:novel:author" content="(.*?)"/>)re"), page));
  EXPECT_EQ(r.SubmatchText(1, 1), Cp936("青石"));
  ASSERT_TRUE(r.Create(Cp936("var b_tit='(.*?)',b_id"), page));
  EXPECT_EQ(r.SubmatchText(1, 1), Cp936("天下"));
}

// A nested quantifier that backtracks exponentially from one start position
// hits the match limit; the run fails instead of freezing the fetch.
TEST(RegexLimits, ExponentialBacktrackingFails) {
  RegexObject r;
  EXPECT_FALSE(r.Create("(a+)+b", std::string(28, 'a') + "cb"));
  EXPECT_EQ(r.MatchCount(), 0);
  EXPECT_EQ(r.MatchText(1), "");
}

// Each start position below the match limit, but thousands of them: the time
// budget for the whole run ends it.
TEST(RegexLimits, ManyCostlyStartPositionsFail) {
  const auto saved = RegexTimeBudget();
  SetRegexTimeBudget(std::chrono::milliseconds(100));
  std::string page;
  for (int i = 0; i < 2000; ++i) page += std::string(20, 'a') + "c";
  page += "b";
  RegexObject r;
  bool ok = r.Create("(a+)+b", page);
  SetRegexTimeBudget(saved);
  EXPECT_FALSE(ok);
  EXPECT_EQ(r.MatchCount(), 0);
}

// A group repeated once per character over a long line needs far more than
// PCRE2's default JIT stack.
TEST(RegexLimits, GroupRepeatedAMillionTimesMatches) {
  RegexObject r;
  ASSERT_TRUE(r.Create("(x|y)*$", std::string(1'000'000, 'x')));
  EXPECT_EQ(r.MatchCount(), 2);
  EXPECT_EQ(r.SubmatchText(1, 1), "x");
  EXPECT_EQ(r.MatchText(1).size(), 1'000'000u);
}

}  // namespace
}  // namespace quill::extract
