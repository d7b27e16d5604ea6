#include "web/TextHelpers.h"

#include "text/Codec.h"
#include "text/Text.h"

namespace quill::web {
namespace {

namespace t = quill::text;

std::vector<std::string> ToItems(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  for (std::string_view piece : t::Split(text, separator)) items.emplace_back(piece);
  return items;
}

const std::string& QuoteMarker() {
  static const std::string marker = t::Cp936("#引号");
  return marker;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right) {
  const std::string l = t::Replace(left, QuoteMarker(), "\"");
  const std::string r = t::Replace(right, QuoteMarker(), "\"");
  const int p = t::Find(text, l);
  if (p < 0) return {};
  const int b = p + static_cast<int>(l.size());
  const int e = t::Find(text, r, b);
  if (e < 0) return {};
  return std::string(t::Middle(text, b, e - b));
}

std::string TextAfterColon(std::string_view text) {
  const int p = t::Find(text, ":");
  if (p < 0) return {};
  return std::string(t::Trim(t::Right(text, static_cast<int>(text.size()) - p)));
}

std::string HostOf(std::string_view address, bool keepPort) {
  std::string s = t::ToLower(address);
  if (t::Right(s, 1) != "/") s += '/';
  std::string host;
  if (t::Left(s, 8) == "https://") {
    host = TextBetween(s, "https://", "/");
  } else {
    if (!t::Contains(s, "http://")) s.insert(0, "http://");
    host = TextBetween(s, "http://", "/");
  }
  if (keepPort) return host;
  const int colon = t::Find(host, ":");
  return colon > 0 ? std::string(t::Left(host, colon - 1)) : host;
}

int PortOf(std::string_view address) {
  const std::string h = HostOf(address, true);
  const int colon = t::FindLast(h, ":");
  if (colon > 0) return t::ToInteger(t::Right(h, static_cast<int>(h.size()) - colon));
  return t::ToLower(t::Left(address, 5)) == "https" ? 443 : 80;
}

std::string PathOf(std::string_view address) {
  const std::string h = HostOf(address);
  // Searching from the very start would find a host such as "h" or "tp"
  // inside the scheme itself and return a path beginning with "//".
  int from = 1;
  if (t::ToLower(t::Left(address, 8)) == "https://") from = 9;
  else if (t::ToLower(t::Left(address, 7)) == "http://") from = 8;
  const int p = t::Find(address, h, from, true);
  const int q = t::Find(address, "/", p);
  if (q < 0) return "/";
  return std::string(t::Right(address, static_cast<int>(address.size()) - q + 1));
}

std::string MergeCookies(std::string& cookies, std::string& received) {
  cookies = t::RemoveSpaces(cookies);
  received = t::RemoveSpaces(received);
  const std::vector<std::string> old = ToItems(cookies, ";");
  std::vector<std::string> fresh = ToItems(received, ";");
  // `fresh` grows while `old` is walked: of several old items with one name
  // only the first survives.
  for (const std::string& item : old)
    if (!HasCookieName(fresh, CookieName(item))) fresh.push_back(item);
  cookies.clear();
  for (const std::string& item : fresh) {
    if (t::Right(item, 8) == "=deleted") continue;
    cookies += item;
    cookies += "; ";
  }
  cookies = t::Left(cookies, static_cast<int>(cookies.size()) - 2);
  cookies = RemoveDuplicateItems(cookies, "; ");
  return cookies;
}

std::string CookieName(std::string_view item) {
  const int p = t::Find(item, "=");
  return std::string(t::Trim(p > 0 ? t::Left(item, p - 1) : item));
}

bool HasCookieName(const std::vector<std::string>& items, std::string_view name) {
  for (const std::string& item : items)
    if (CookieName(item) == name) return true;
  return false;
}

std::string RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  std::vector<std::string> taken;
  for (std::string_view piece : t::Split(text, separator))
    if (IndexOfItem(taken, piece) < 0) taken.emplace_back(piece);
  std::string out;
  for (const std::string& piece : taken) {
    out += piece;
    out += separator;
  }
  return std::string(t::Left(out, static_cast<int>(out.size() - separator.size())));
}

int IndexOfItem(const std::vector<std::string>& items, std::string_view text) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i) + 1;
  return -1;
}

}  // namespace quill::web
