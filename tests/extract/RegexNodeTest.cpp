// The rule patterns' dialect against a JavaScript engine: same matches, same
// captures, same index in UTF-16 code units, same replacement, and the same
// verdict on patterns that are no valid regular expression.
#include <gtest/gtest.h>

#include "NodeReference.h"
#include "text/Codec.h"

namespace quill::extract::test {
namespace {

using text::Cp936;

// The part of `line` around its first difference from `other`.
std::string Excerpt(const std::string& line, const std::string& other) {
  size_t at = 0;
  while (at < line.size() && at < other.size() && line[at] == other[at]) ++at;
  size_t from = at > 60 ? at - 60 : 0;
  while (from > 0 && (static_cast<unsigned char>(line[from]) & 0xC0) == 0x80) --from;  // whole UTF-8 characters
  std::string s = line.substr(from, at - from + 60);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
  return (from > 0 ? "..." : "") + s + (from + s.size() < line.size() ? "..." : "");
}

void Compare(const std::vector<std::string>& pages, const std::vector<ReferenceCase>& cases) {
  if (!NodeAvailable()) GTEST_SKIP() << "node is not installed";
  std::string error;
  std::vector<std::string> expected = RunNode(pages, cases, &error);
  ASSERT_TRUE(error.empty()) << error;
  int failures = 0;
  for (size_t i = 0; i < cases.size() && failures < 25; ++i) {
    const ReferenceCase& c = cases[i];
    std::string ours = RunOurs(pages[c.page], c);
    if (ours != expected[i]) {
      ++failures;
      ADD_FAILURE() << "pattern /" << text::Utf8(c.pattern) << "/" << c.flags << " on page " << c.page
                    << "\n  node: " << Excerpt(expected[i], ours) << "\n  ours: " << Excerpt(ours, expected[i]);
    }
  }
}

// Pages in the shapes the rules meet, CR LF and LF, Chinese and ASCII.
std::vector<std::string> Pages() {
  std::vector<std::string> utf8 = {
      // 0: list items of the first default rule, CR LF, one item in capitals,
      // one broken across two lines
      "<html><head><meta charset=\"gbk\">\r\n"
      "<meta property=\"og:novel:book_name\" content=\"星辰 长河\"/>\r\n"
      "<meta property=\"og:novel:author\" content=\"青石\"/>\r\n</head><body>\r\n<ul>\r\n"
      "<li class=\"chapter\"><a href=\"/12/345.html\" title=\"第一章 开始\">第一章 开始</a></li>\r\n"
      "<li class=\"chapter\"><a href=\"/12/346.html\" title=\"第二章 继续\">第二章　继续</a></li>\r\n"
      "<LI CLASS=\"chapter\"><A HREF=\"/12/347.html\" TITLE=\"x\">第三章</A></LI>\r\n"
      "<li class=\"chapter\"><a href=\"/12/348.html\"\r\n title=\"断\">第四章 断行</a></li>\r\n"
      "<li class=\"chapter\"><a href=\"/12/349.html\" title=\"\">第五章 \"引号\"</a></li>"
      "<li class=\"chapter\"><a href=\"/12/350.html\" title=\"a\">同一行</a></li>\r\n</ul></body></html>",
      // 1: the second default rule's page, LF
      "<script>var b_tit='天 下　第一',b_id=77;</script>\n"
      "<p>作者：<span><a href=\"/search.php?q=无名氏\" target=_blank>无名氏</a></span></p>\n"
      "<ul><li><a href=\"/77/1.html\">第1章 序</a></li>\n<li><a href=\"/77/2.html\">第2章 雨夜</a></li>"
      "<li><a href=\"/77/3.html\">第3章</a></li>\n<li><a href=\"77/4.html\">no slash</a></li>\n"
      "<li><a href=\"/77/5.html\">第5章\n跨行</a></li>\n</ul>",
      // 2: assorted characters and line ends
      "abc ABC aBc\r\n123 4567 _x_ foo_bar\r\r\n\n中文ａｂｃＡＢＣ　全角\tTAB\vVT\fFF end.\n\n"
      "Αλφα Ωμέγα Привет ПРИВЕТ\r\nlast line $5.00 (x) [y] {z} a+b=c? \\ back/slash x{41} "
      "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx p{L} \x01\x08\x0A\x11\x1F #引号 \"q\"\r\n",
      // 3: empty
      "",
      // 4: repetitions for back-references and quantifiers
      "aaa abab xyzzy aabbaabb 0101 1221 hello  world\n\nhello world\nab\nb\naaaa\n",
      // 5: Chinese prose
      "第一章 开始\n　　天色渐晚，他走进了山门。\n\n第二章 继续\r\n　　“你来了？”她问。\r\n",
  };
  std::vector<std::string> pages;
  for (const auto& p : utf8) pages.push_back(Cp936(p));
  return pages;
}

TEST(RegexAgainstNode, RulePatternsOverIndexPages) {
  const std::vector<const char*> patterns = {
      R"re(<li class="chapter"><a href="(.*?)" title=".*?">(.*?)</a></li>)re",
      R"re(<meta property="og:novel:book_name" content="(.*?)"/>)re",
      R"re(<meta property="og:novel:author" content="(.*?)"/>)re",
      R"re(<li><a href="/(.*?)">(.*?)</a></li>)re",
      R"re(var b_tit='(.*?)',b_id)re",
      R"re(作者：<span><a href="/search.php\?q=(.*?)" target=_blank>)re",
  };
  const std::vector<std::string> replacements = {"$2 => $1", "[$&]", "$$1", "<$`|$'>", "$3$0$00$01$10$<n>$"};
  std::vector<std::string> pages = Pages();
  std::vector<ReferenceCase> cases;
  size_t r = 0;
  for (const char* p : patterns) {
    for (size_t page = 0; page < pages.size(); ++page) {
      for (const char* flags : {"img", "mg", "ig", "im", "g", ""}) {
        cases.push_back({Cp936(p), page, flags, std::nullopt, Cp936(replacements[r++ % replacements.size()])});
      }
    }
  }
  Compare(pages, cases);
}

TEST(RegexAgainstNode, DialectConstructs) {
  const std::vector<const char*> patterns = {
      // lazy and greedy
      "<a.*>", "<a.*?>", "a+?", "a{2,3}", "a{2,3}?", "a{2,}", "a{0}", "(ab)+", "(?:ab)*?b", "x*", "a??b",
      "(a|b)*?b", "(.*)(\\d+)", "(.*?)(\\d+)", "[^\"]*\"",
      // lookahead, also quantified as the web grammar allows
      "\\w+(?=\\()", "\\d+(?!\\.)", "(?=(a+))a*b\\1", "(?=a)*a", "(?=(a))?a", "(?!a)+b", "a(?=b)|b(?!a)",
      "(?=(\\w+))\\1:",
      // back-references, octal escapes and digits
      "(a)\\1", "(\\w)\\1", "(a)|\\1b", "\\1(a)", "(a)\\2(b)", "(a)\\10", "\\8", "\\18", "\\0", "\\012",
      "[\\1]", "\\400", "\\08", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\\10", "(?:(a)|b)\\1",
      // alternation
      "cat|category|dog", "a|ab|abc", "|a", "a|", "(第一|第二)章", "(?:)", "",
      // anchors and line ends
      "^", "$", "^\\w+", "\\w+$", "^$", "^.*$", "^.+$", ".$", "^\\n", "\\r$", "\\r\\n", "^[^\\r\\n]*", "$\\r?\\n^",
      "a$|^b",
      // case folding
      "hello", "HELLO", "[a-z]+", "[^a-z]+", "ПРИВЕТ", "привет", "ａｂｃ", "[Ａ-Ｚ]+", "αλφα", "[α-ω]+",
      "[A-z]+", "[\\x41-\\x5a]+",
      // escapes: the dialect's own
      "\\d+", "\\D+", "\\w+", "\\W+", "\\b\\w", "\\B\\w", "\\w\\b", "\\t", "\\v", "\\f", "\\x41", "\\x4",
      "\\u0041", "\\u004", "\\u4e2d", "\\cJ", "\\c1", "[\\c1]", "[\\c_]", "[\\c]", "\\c", "[\\b]", "\\/", "\\-",
      "[\\-]", "\\$5\\.00", "\\(x\\)", "\\[y\\]", "\\{z\\}", "\\\\ back", "\\x{41}", "\\u{41}", "\\ud800",
      "[\\ud800-\\udfff]", "[^\\ud800]", "\\x0a",
      // PCRE2's escapes, plain letters here
      "\\h", "\\R", "\\K", "\\Qa.b\\E", "\\A", "\\z", "\\Z", "\\G", "\\p{L}", "\\P", "\\e", "\\a", "\\N", "\\X",
      "\\C", "\\g1", "\\k<n>", "\\o{1}", "\\i",
      // brackets and braces
      "[[:alpha:]]+", "[]a]", "[^]", "[]", "[^]+", "[\\d-z]+", "[a-]", "[-a]", "[a-c-e]+", "[--0]+", "]", "}", "{",
      "a{", "a{1", "a{,2}", "x{1,2}", "x{41}", "p{L}", "[\\w.]+", "[^\\n]+", ".", ".+", "[.]", "[$^]",
      "\\u3000", "　+", "#引号",
      // empty matches in the global loop
      "a*?", "\\b", "(?=a)", "a*|b", "x?",
      // not regular expressions in the dialect (nor in JavaScript)
      "(", ")", "a)", "[a", "a**", "a*+", "a++", "a?+", "a{2}+", "*a", "+", "?", "{1}", "x|{1,}", "a{2,1}",
      "\\", "(?i)a", "(?>a)", "(?#c)", "(?P<n>a)", "(*ACCEPT)", "x|*", "[z-a]", "a{1}{2}", "^*", "\\b+", "$?",
      "(?=a){2,1}", "(?i:a)",
  };
  std::vector<std::string> pages = Pages();
  std::vector<ReferenceCase> cases;
  for (const char* p : patterns) {
    for (size_t page = 0; page < pages.size(); ++page) {
      for (const char* flags : {"img", "ig", "mg", "im"}) cases.push_back({Cp936(p), page, flags});
    }
  }
  // \s is ASCII white space here, as in the scripting engines, where
  // JavaScript's takes in U+3000 and the other Unicode spaces: JavaScript
  // gets the ASCII class spelled out.
  for (auto [p, js] : {std::pair{"\\s+", "[\\t\\n\\v\\f\\r ]+"}, std::pair{"\\S+", "[^\\t\\n\\v\\f\\r ]+"},
                       std::pair{"[\\s\\d]+", "[\\t\\n\\v\\f\\r \\d]+"}, std::pair{"[^\\s]+", "[^\\t\\n\\v\\f\\r ]+"},
                       std::pair{"[\\S\\s]+", "[\\s\\S]+"}, std::pair{"\\w\\s\\w", "\\w[\\t\\n\\v\\f\\r ]\\w"}}) {
    for (size_t page = 0; page < pages.size(); ++page) cases.push_back({Cp936(p), page, "img", Cp936(js)});
  }
  Compare(pages, cases);
}

// Every character code page 936 has: "." stops only at CR and LF, \w \d \b
// are ASCII, and case folding matches JavaScript's for every letter a page
// can hold.
TEST(RegexAgainstNode, WholeCodePageRepertoire) {
  std::string all, symbols;
  for (int b = 1; b < 0x80; ++b) all += static_cast<char>(b);
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string ch{static_cast<char>(lead), static_cast<char>(trail)};
      std::u16string w = text::Cp936ToUtf16(ch);
      if (w.size() != 1 || w == u"?") continue;  // no character there
      all += ch;
      // The rows of letters and signs.
      if (lead >= 0xA1 && lead <= 0xA9) symbols += ch;
    }
  }
  std::vector<std::string> pages = {all, symbols + "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"};
  std::vector<ReferenceCase> cases;
  for (const char* p : {".+", "\\w+", "\\W+", "\\d+", "\\D+", "\\b", "[a-z]+", "[^a-z]+", "[α-ω]+", "[^α-ω]+",
                        "[\\s\\S]+", "[^\\w]+"}) {
    for (const char* flags : {"img", "mg"}) cases.push_back({Cp936(p), 0, flags});
  }
  cases.push_back({Cp936("\\s+"), 0, "g", Cp936("[\\t\\n\\v\\f\\r ]+")});
  // Each letter or sign as a pattern of its own, case ignored.
  const std::u16string wide = text::Cp936ToUtf16(pages[1]);
  for (char16_t c : wide) {
    std::string p = text::Utf16ToCp936(std::u16string(1, c));
    if (c < 0x80 && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) continue;
    cases.push_back({p, 1, "ig"});
  }
  Compare(pages, cases);
}

}  // namespace
}  // namespace quill::extract::test
