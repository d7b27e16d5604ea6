#include "web/ReceivedCookies.h"

#include "text/Text.h"
#include "web/TextHelpers.h"

namespace quill::web {

namespace t = quill::text;

void SpellSetCookie(std::string& responseHeaders) {
  t::ReplaceInPlace(responseHeaders, "Set-Cookie", "Set-Cookie", true);
}

std::string ReceivedCookiesFrom(std::string_view responseHeaders) {
  std::string received;
  for (std::string_view line : t::Split(responseHeaders, "\r\n")) {
    if (!t::Contains(line, "Set-Cookie")) continue;
    if (t::Contains(line, ";")) {
      received += t::Trim(TextBetween(line, "Set-Cookie:", ";"));
    } else {
      received += t::Trim(t::Replace(line, "Set-Cookie:", "", true));
    }
    received += "; ";
  }
  return std::string(t::Left(received, static_cast<int>(received.size()) - 2));
}

}  // namespace quill::web
