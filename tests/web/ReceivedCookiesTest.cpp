#include "web/ReceivedCookies.h"

#include <gtest/gtest.h>

namespace quill::web {
namespace {

struct ReceivedCase {
  const char* what;
  std::string block, spelt, received;
};

void PrintTo(const ReceivedCase& c, std::ostream* os) { *os << c.what; }

class ReceivedCookiesTest : public testing::TestWithParam<ReceivedCase> {};

TEST_P(ReceivedCookiesTest, ReadsTheFirstPairOfEveryCookieLine) {
  const ReceivedCase& c = GetParam();
  std::string block = c.block;
  SpellSetCookie(block);
  EXPECT_EQ(block, c.spelt);
  EXPECT_EQ(ReceivedCookiesFrom(block), c.received);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivedCookiesTest,
    testing::Values(
        ReceivedCase{"any letter case, attributes dropped, order kept",
                     "HTTP/1.1 200 OK\r\nset-cookie: a=1; path=/\r\nX: y\r\nSET-COOKIE: b=2\r\n\r\n",
                     "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nX: y\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2"},
        ReceivedCase{"value trimmed, inner spaces kept", "Set-Cookie:  d = 4 ; HttpOnly\r\nSet-Cookie:e=5  \r\n",
                     "Set-Cookie:  d = 4 ; HttpOnly\r\nSet-Cookie:e=5  \r\n", "d = 4; e=5"},
        ReceivedCase{"no cookie lines", "HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 204 No Content\r\n\r\n", ""},
        ReceivedCase{"the 5000 spaces of a missing block", std::string(5000, ' '), std::string(5000, ' '), ""}));

}  // namespace
}  // namespace quill::web
