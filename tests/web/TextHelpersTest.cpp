#include "web/TextHelpers.h"

#include <gtest/gtest.h>

#include "text/Codec.h"

namespace quill::web {
namespace {

struct BetweenCase {
  const char* what;
  std::string text, left, right, expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os) { *os << c.what; }

class TextBetweenTest : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, CutsBetweenTheFirstMarkers) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected);
}

const std::string kQuote = text::Cp936("#引号");

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetweenTest,
    testing::Values(
        BetweenCase{"plain", "a<b>c", "<", ">", "b"},
        BetweenCase{"first left, first right after it", "x<1>y<2>", "<", ">", "1"},
        BetweenCase{"right marker only before the left one", "a>b<c", "<", ">", ""},
        BetweenCase{"left marker missing", "abc", "<", ">", ""},
        BetweenCase{"markers next to each other", "ab", "a", "b", ""},
        BetweenCase{"empty left marker: from the start", "abc>d", "", ">", "abc"},
        BetweenCase{"empty right marker gives nothing", "a<bc", "<", "", ""},
        BetweenCase{"empty text", "", "", ">", ""},
        BetweenCase{"quote marker in the left marker", "<div class=\"t\">text</div>",
                    "\"t" + kQuote + ">", "</div>", "text"},
        BetweenCase{"quote marker in the right marker", "id=\"v\"", "id=" + kQuote, kQuote, "v"},
        BetweenCase{"a quote marker standing in the page is not found",
                    "a" + kQuote + "b", kQuote, "b", ""},
        BetweenCase{"markers match whole characters only",
                    // 81 3C is one character whose trail byte is '<'
                    "\x81<x<y>", "<", ">", "y"},
        BetweenCase{"exact case", "<B>x</B>", "<b>", "</b>", ""}));

struct AddressCase {
  std::string address;
  std::string host, hostWithPort;
  int port;
  std::string path;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.address; }

class AddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, TakesTheAddressApart) {
  const AddressCase& c = GetParam();
  EXPECT_EQ(HostOf(c.address), c.host);
  EXPECT_EQ(HostOf(c.address, true), c.hostWithPort);
  EXPECT_EQ(PortOf(c.address), c.port);
  EXPECT_EQ(PathOf(c.address), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressTest,
    testing::Values(
        AddressCase{"HTTP://Host:8080/a", "host", "host:8080", 8080, "/a"},
        AddressCase{"host", "host", "host", 80, "/"},
        AddressCase{"https://h/x", "h", "h", 443, "/x"},
        AddressCase{"HTTPS://h", "h", "h", 443, "/"},
        AddressCase{"http://h:abc/", "h", "h:abc", 0, "/"},
        AddressCase{"http://Host/A/b?c=1", "host", "host", 80, "/A/b?c=1"},
        AddressCase{"http://h?x=1", "h?x=1", "h?x=1", 80, "/"},
        AddressCase{"www.site.com/book/1.html", "www.site.com", "www.site.com", 80, "/book/1.html"},
        AddressCase{"https://site.com:8443/p#f", "site.com", "site.com:8443", 8443, "/p#f"},
        // A host that also occurs inside the scheme must not be found there.
        AddressCase{"http://tp/a/b", "tp", "tp", 80, "/a/b"},
        AddressCase{"https://s/x", "s", "s", 443, "/x"},
        AddressCase{"", "", "", 80, "/"}));

TEST(TextAfterColon, TakesEverythingAfterTheFirstColonTrimmed) {
  EXPECT_EQ(TextAfterColon("User-Agent:  Quill/1 "), "Quill/1");
  EXPECT_EQ(TextAfterColon("a: b: c"), "b: c");
  EXPECT_EQ(TextAfterColon("no colon"), "");
  EXPECT_EQ(TextAfterColon("ends:"), "");
}

struct MergeCase {
  const char* what;
  std::string cookies, received;
  std::string merged, receivedAfter;
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.what; }

class MergeCookiesTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, PutsReceivedCookiesFirst) {
  const MergeCase& c = GetParam();
  std::string cookies = c.cookies, received = c.received;
  EXPECT_EQ(MergeCookies(cookies, received), c.merged);
  EXPECT_EQ(cookies, c.merged);
  EXPECT_EQ(received, c.receivedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeCookiesTest,
    testing::Values(
        MergeCase{"received replaces and deletes", "a=1; b=2", "b=3; c=deleted", "b=3; a=1", "b=3;c=deleted"},
        MergeCase{"nothing received: old items re-joined", "a=1;  b=2", "", "a=1; b=2", ""},
        MergeCase{"both empty", "", "", "", ""},
        MergeCase{"deleted old items and exact repeats go", "a=1; x=deleted; a=1", "", "a=1", ""},
        MergeCase{"first of several old items with one name survives", "a=1; a=2", "b=1", "b=1; a=1", "b=1"},
        MergeCase{"a space inside a value is removed", "a=x y", "", "a=xy", ""},
        MergeCase{"deleted received item takes the old one with it", "s=1; t=2", "s=deleted", "t=2", "s=deleted"},
        MergeCase{"names compare exactly", "A=1", "a=2", "a=2; A=1", "a=2"},
        MergeCase{"item without '=' is all name", "flag; a=1", "flag=on", "flag=on; a=1", "flag=on"}));

TEST(CookieItems, NamesAndLists) {
  EXPECT_EQ(CookieName(" sid = 42"), "sid");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_EQ(CookieName("a=b=c"), "a");
  EXPECT_TRUE(HasCookieName({"x=1", "sid=2"}, "sid"));
  EXPECT_FALSE(HasCookieName({"SID=2"}, "sid"));
  EXPECT_FALSE(HasCookieName({}, ""));
  EXPECT_EQ(IndexOfItem({"a", "b", "a"}, "a"), 1);
  EXPECT_EQ(IndexOfItem({"a", "b"}, "b"), 2);
  EXPECT_EQ(IndexOfItem({"a"}, "A"), -1);
  EXPECT_EQ(RemoveDuplicateItems("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(RemoveDuplicateItems("a; ; ; b", "; "), "a; ; b");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
}

}  // namespace
}  // namespace quill::web
