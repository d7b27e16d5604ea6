#include "text/Text.h"

#include <gtest/gtest.h>

#include "text/Codec.h"

namespace quill::text {
namespace {

// 中 is D6 D0, 文 is CE C4; 丂 is 81 40, whose trail byte is '@';
// 乀 is 81 41: its trail byte is the letter 'A'.
const std::string kZhong = "\xD6\xD0";
const std::string kA_Trail = "\x81\x41";

struct FindCase {
  const char* what;
  std::string text, needle;
  int start;
  bool ignoreCase;
  int expected;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.what; }

class FindTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTest, StepsOverWholeCharacters) {
  const FindCase& c = GetParam();
  EXPECT_EQ(Find(c.text, c.needle, c.start, c.ignoreCase), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTest,
    testing::Values(
        FindCase{"plain", "abcabc", "c", 1, false, 3},
        FindCase{"from a start", "abcabc", "c", 4, false, 6},
        FindCase{"start below 1 counts as 1", "abc", "a", -5, false, 1},
        FindCase{"missing", "abc", "d", 1, false, -1},
        FindCase{"trail byte that is an ASCII letter is not found", kA_Trail + "x", "A", 1, false, -1},
        FindCase{"same with case folding", kA_Trail + "x", "a", 1, true, -1},
        FindCase{"letter after the character is found", kA_Trail + "A", "A", 1, false, 3},
        FindCase{"two-byte needle after an odd number of ASCII bytes", "abc" + kZhong, kZhong, 1, false, 4},
        FindCase{"two-byte needle spanning two characters is not found",
                 "\xB0\xD6\xD0\xB0", kZhong, 1, false, -1},
        FindCase{"case folded ASCII", "xHELLO", "hello", 1, true, 2},
        FindCase{"case kept when asked", "xHELLO", "hello", 1, false, -1},
        FindCase{"folding never changes a double byte", "\xD6\x41", "\xD6\x61", 1, true, -1},
        FindCase{"lone lead byte at the end", "ab\x81", "\x81", 1, false, 3},
        FindCase{"needle longer than what is left", "ab\x81", "\x81\x40", 1, false, -1},
        FindCase{"start on a trail byte steps from there", kA_Trail + "A", "A", 2, false, 2},
        FindCase{"empty needle at start", "abc", "", 2, false, 2}));

TEST(FindLast, UsesTheSameStepping) {
  EXPECT_EQ(FindLast("a/b/c", "/"), 4);
  EXPECT_EQ(FindLast("abc", "/"), -1);
  // The last 'A' byte is a trail byte; the one before it is a character.
  EXPECT_EQ(FindLast("A" + kA_Trail, "A"), 1);
  EXPECT_EQ(FindLast("aXa" + kZhong, "a", true), 3);
  EXPECT_EQ(FindLast("aaa", "aa"), 2);
  EXPECT_EQ(FindLast("x\x81", "\x81"), 2);
}

TEST(Replace, ScansOnceFromTheLeft) {
  EXPECT_EQ(Replace("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(Replace("\r\n\r\n\r\n", "\r\n\r\n", "\r\n"), "\r\n\r\n");
  EXPECT_EQ(Replace("a<p>b<p>", "<p>", ""), "ab");
  EXPECT_EQ(Replace("abc", "", "x"), "abc");
  EXPECT_EQ(Replace(kA_Trail + "A", "A", "B"), kA_Trail + "B");
  EXPECT_EQ(Replace("Set-cookie SET-COOKIE", "set-cookie", "Set-Cookie", true),
            "Set-Cookie Set-Cookie");
  std::string s = "x&nbsp;y&nbsp;";
  EXPECT_EQ(ReplaceInPlace(s, "&nbsp;", " "), 2);
  EXPECT_EQ(s, "x y ");
}

TEST(Split, KeepsInnerEmptyPiecesAndDropsAnEmptyLast) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(Split("a;;b;", ";"), (V{"a", "", "b"}));
  EXPECT_EQ(Split(";a", ";"), (V{"", "a"}));
  EXPECT_EQ(Split("", ";"), V{});
  EXPECT_EQ(Split("a\r\nb\r\n", "\r\n"), (V{"a", "b"}));
  EXPECT_EQ(Split(kA_Trail + "A;", "A"), (V{kA_Trail, ";"}));
}

TEST(Spaces, AsciiAndFullWidthOnly) {
  const std::string full = "\xA1\xA1";
  EXPECT_EQ(Trim("  " + full + "a b\t" + full + " "), "a b\t");
  EXPECT_EQ(Trim("\r\n a \r\n"), "\r\n a \r\n");
  EXPECT_EQ(Trim("   "), "");
  // A1 A1 whose first byte is a trail byte is no space: B0 A1 | A1 B0.
  EXPECT_EQ(Trim("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
  EXPECT_EQ(RemoveSpaces(" a" + full + "b\tc "), "ab\tc");
  EXPECT_EQ(RemoveSpaces("\xB0\xA1\xA1\xB0 "), "\xB0\xA1\xA1\xB0");
  EXPECT_EQ(RemoveSpaces("\x81 "), "\x81 ");  // the space is the lead byte's trail
}

TEST(Cuts, LeftRightMiddleAndCase) {
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 9), "abc");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", -1), "");
  EXPECT_EQ(Middle("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Middle("abc", 3, 9), "c");
  EXPECT_EQ(Middle("abc", 4, 1), "");
  EXPECT_EQ(Middle("abc", 0, 1), "");
  EXPECT_EQ(ToLower("HTTPS://A" + kA_Trail), "https://a\x81\x61");
}

TEST(ToInteger, LeadingDigitsOnly) {
  EXPECT_EQ(ToInteger("8080"), 8080);
  EXPECT_EQ(ToInteger("  -12abc"), -12);
  EXPECT_EQ(ToInteger("+7"), 7);
  EXPECT_EQ(ToInteger("abc"), 0);
  EXPECT_EQ(ToInteger(""), 0);
  EXPECT_EQ(ToInteger("99999999999"), 2147483647);
  EXPECT_EQ(ToInteger("-99999999999"), -2147483647 - 1);
}

TEST(UpToZero, CutsAtTheFirstZeroByte) {
  EXPECT_EQ(UpToZero(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(UpToZero("abc"), "abc");
}

}  // namespace
}  // namespace quill::text
