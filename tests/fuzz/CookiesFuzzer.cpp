// The cookies of a response: reading them out of the raw header block and
// merging them into a caller's cookie text.
//
// Any bytes: respelling "Set-Cookie" changes letter case only and is done
// in one pass; the cookies of a block are those of its lines one by one,
// each trimmed, and for a line with attributes a piece of it before them. For ASCII texts, where every item is
// one piece between separators, the merge is checked against a plain model
// of it: received items first, then old items whose names were not
// received, first of each name; nothing "=deleted", no item twice, no
// space; and merging the same cookies again changes nothing.
//
// Input: a first byte of flags, the old cookie text, a zero byte, and a
// header block (or, by a flag, a received text as it is); control bytes
// stand for the words below.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "text/Text.h"
#include "web/ReceivedCookies.h"
#include "web/TextHelpers.h"

namespace {

using namespace quill;
using fuzz::Check;

const fuzz::Words& HeaderWords() {
  static const fuzz::Words words{
      "Set-Cookie: ", "set-cookie:", "SET-COOKIE", "Set-Cookie", "; ", ";", "=deleted", "a=1",
      "b=2", "a=", "; path=/", "; Expires=Wed, 21 Oct 2015 07:28:00 GMT", "HTTP/1.1 200 OK\r\n", "Content-Type: text/html\r\n",
      "\r\n", " ", "\xA1\xA1", "\x81", "=", "sid=x9; HttpOnly"};
  return words;
}

std::vector<std::string> PlainSplit(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  for (size_t at = 0;;) {
    const size_t next = text.find(separator, at);
    if (next == std::string_view::npos) {
      if (at < text.size()) pieces.emplace_back(text.substr(at));
      return pieces;
    }
    pieces.emplace_back(text.substr(at, next - at));
    at = next + separator.size();
  }
}

std::string PlainName(std::string_view item) {
  std::string_view name = item.substr(0, item.find('='));
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return std::string(name);
}

std::string WithoutSpaces(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

bool Has(const std::vector<std::string>& items, std::string_view item) {
  for (const std::string& i : items)
    if (i == item) return true;
  return false;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? std::string(separator) : "") + items[i];
  return out;
}

// The merge of two ASCII texts, written from what it promises: received
// items first, then each old item whose name is neither received nor taken
// before; no "=deleted" item; joined, and each item once. Joining and
// cutting again loses an empty last item, as the separator's cut drops it.
std::string PlainMerge(std::string_view cookies, std::string_view received) {
  std::vector<std::string> all = PlainSplit(WithoutSpaces(received), ";");
  std::vector<std::string> names;
  for (const std::string& item : all) names.push_back(PlainName(item));
  for (const std::string& item : PlainSplit(WithoutSpaces(cookies), ";")) {
    if (Has(names, PlainName(item))) continue;
    names.push_back(PlainName(item));
    all.push_back(item);
  }
  std::vector<std::string> alive;
  for (const std::string& item : all)
    if (!item.ends_with("=deleted")) alive.push_back(item);
  std::vector<std::string> once;
  for (const std::string& item : PlainSplit(Join(alive, "; "), "; "))
    if (!Has(once, item)) once.push_back(item);
  return Join(once, "; ");
}

void CheckSpelling(const std::string& block, const std::string& spelt) {
  Check(spelt.size() == block.size());
  Check(text::ToLower(spelt) == text::ToLower(block));
  Check(text::Replace(spelt, "Set-Cookie", "", true) == text::Replace(spelt, "Set-Cookie", ""));
  std::string again = spelt;
  web::SpellSetCookie(again);
  Check(again == spelt);
}

void CheckReceived(std::string_view spelt, const std::string& received) {
  std::string joined;
  for (std::string_view line : text::Split(spelt, "\r\n")) {
    const std::string item = web::ReceivedCookiesFrom(line);
    if (!text::Contains(line, "Set-Cookie")) {
      Check(item.empty());
      continue;
    }
    Check(text::Trim(item) == item);
    // The attributes after the first ";" of the line are never taken.
    if (text::Contains(line, ";")) Check(line.find(item) != std::string_view::npos && !text::Contains(item, ";"));
    joined += item + "; ";
  }
  Check(received == joined.substr(0, joined.size() >= 2 ? joined.size() - 2 : 0));
}

void CheckMerge(const std::string& oldCookies, const std::string& receivedText) {
  std::string cookies = oldCookies;
  std::string received = receivedText;
  const std::string merged = web::MergeCookies(cookies, received);
  Check(cookies == merged);
  Check(received == text::RemoveSpaces(receivedText));
  if (!fuzz::IsAscii(oldCookies) || !fuzz::IsAscii(receivedText)) return;

  Check(merged == PlainMerge(oldCookies, receivedText));
  std::vector<std::string> items, names;
  bool namesDiffer = true;
  for (const std::string& item : PlainSplit(merged, "; ")) {
    Check(item.find(' ') == std::string::npos && item.find(';') == std::string::npos);
    Check(!item.ends_with("=deleted") && !Has(items, item));
    items.push_back(item);
    namesDiffer = namesDiffer && !Has(names, PlainName(item));
    names.push_back(PlainName(item));
  }
  std::string again = merged;
  std::string sameReceived = receivedText;
  Check(web::MergeCookies(again, sameReceived) == merged);
  if (namesDiffer && !merged.ends_with("; ")) {
    std::string alone = merged;
    std::string nothing;
    Check(web::MergeCookies(alone, nothing) == merged);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool rawReceived = data[0] & 1;
  const auto parts = fuzz::Parts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 2);
  const std::string oldCookies = HeaderWords().Expand(parts[0]);
  const std::string block = HeaderWords().Expand(parts[1]);

  std::string spelt = block;
  web::SpellSetCookie(spelt);
  CheckSpelling(block, spelt);
  const std::string received = web::ReceivedCookiesFrom(spelt);
  CheckReceived(spelt, received);
  CheckMerge(oldCookies, rawReceived ? block : received);
  return 0;
}
