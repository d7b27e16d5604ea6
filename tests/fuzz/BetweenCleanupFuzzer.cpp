// Cutting a chapter out of its page and cleaning it, over random pages and
// markers. The cut is checked against a plain scan; the cleaning against
// what its table guarantees whatever the page: no entity or tag of the
// table survives (no later step writes a byte of one), the text never
// grows, the two-byte characters of the page come through in order, and a
// second pass can only fold line breaks further.
//
// Input: left marker, zero byte, right marker, zero byte, page; control
// bytes stand for the words below.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "extract/Cleanup.h"
#include "text/Codec.h"
#include "text/Text.h"
#include "web/TextHelpers.h"

namespace {

using namespace quill;
using fuzz::Check;

const std::string& QuoteMarker() {
  static const std::string marker = text::Cp936("#引号");
  return marker;
}

const fuzz::Words& PageWords() {
  static const fuzz::Words words{
      QuoteMarker(), "\"", "<p>", "</p>", "<br />", "<br/>", "</br>", "&nbsp;",
      "&quot;", "&lsquo;", "&rsquo;", "&mdash;", "&hellip;", "&ldquo;", "&rdquo;", "????",
      "\r\n\r\n", "<div id=\"content\">", "</div>", text::Cp936("第一章　"), "\xA1\xA1", "\x81",
      "\xA1\xB0", "#", text::Cp936("引号"), "&"};
  return words;
}

// The steps of the table whose find text cannot be left behind.
constexpr std::array<std::string_view, 14> kRemoved{
    "&lsquo;", "&rsquo;", "&mdash;", "&hellip;", "&ldquo;", "&rdquo;", "&nbsp;",
    "<p>",     "</p>",    "<br />",  "<br/>",    "????",    "</br>",   "&quot;"};

// The table writes these for the entities; they are left out when the
// two-byte characters before and after are compared.
constexpr std::array<std::string_view, 6> kWritten{"\xA1\xAE", "\xA1\xAF", "\xA1\xAA",
                                                   "\xA1\xAD", "\xA1\xB0", "\xA1\xB1"};

size_t Step(std::string_view s, size_t i) { return static_cast<size_t>(text::CharLength(static_cast<unsigned char>(s[i]))); }

// 0-based, stepping whole characters from `from`; npos when none.
size_t FirstAt(std::string_view text, std::string_view needle, size_t from) {
  if (from > text.size()) return std::string_view::npos;
  if (needle.empty()) return from;
  for (size_t i = from; i < text.size(); i += Step(text, i))
    if (text.substr(i, needle.size()) == needle) return i;
  return std::string_view::npos;
}

std::vector<std::string_view> TwoByteCharacters(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < s.size(); i += Step(s, i)) {
    std::string_view c = s.substr(i, Step(s, i));
    if (c.size() < 2 && static_cast<unsigned char>(c[0]) < 0x80) continue;
    bool written = false;
    for (std::string_view w : kWritten) written = written || c == w;
    if (!written) out.push_back(c);
  }
  return out;
}

void CheckBetween(std::string_view page, std::string_view left, std::string_view right, const std::string& got) {
  const std::string l = text::Replace(left, QuoteMarker(), "\"");
  const std::string r = text::Replace(right, QuoteMarker(), "\"");
  // The marker stands for a quote and for nothing else.
  Check(web::TextBetween(page, l, r) == got);
  std::string expected;
  const size_t p = FirstAt(page, l, 0);
  if (p != std::string_view::npos) {
    const size_t b = p + l.size();
    const size_t e = FirstAt(page, r, b);
    if (e != std::string_view::npos) expected = page.substr(b, e - b);
  }
  Check(got == expected);
}

void CheckCleaning(const std::string& before) {
  std::string cleaned = before;
  extract::CleanChapterText(cleaned);
  std::string again = before;
  extract::CleanChapterText(again);
  Check(again == cleaned);
  Check(cleaned.size() <= before.size());
  for (std::string_view find : kRemoved) Check(!text::Contains(cleaned, find));
  Check(TwoByteCharacters(cleaned) == TwoByteCharacters(before));
  // Nothing but the last step has anything left to do.
  std::string twice = cleaned;
  extract::CleanChapterText(twice);
  Check(twice == text::Replace(cleaned, "\r\n\r\n", "\r\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = fuzz::Parts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string left = PageWords().Expand(parts[0]);
  const std::string right = PageWords().Expand(parts[1]);
  const std::string page = PageWords().Expand(parts[2]);

  const std::string got = web::TextBetween(page, left, right);
  CheckBetween(page, left, right, got);
  CheckCleaning(got);
  CheckCleaning(page);
  return 0;
}
