#include "extract/Cleanup.h"

#include <array>
#include <string_view>

#include "text/Text.h"

namespace quill::extract {
namespace {

struct Replacement {
  std::string_view find;
  std::string_view replaceWith;
};

// The quotation marks and dashes are code-page-936 bytes.
constexpr std::array<Replacement, 15> kCleanupTable{{
    {"&lsquo;", "\xA1\xAE"},
    {"&rsquo;", "\xA1\xAF"},
    {"&mdash;", "\xA1\xAA"},
    {"&hellip;", "\xA1\xAD"},
    {"&ldquo;", "\xA1\xB0"},
    {"&rdquo;", "\xA1\xB1"},
    {"&nbsp;", " "},
    {"<p>", "  "},
    {"</p>", "\r\n"},
    {"<br />", "\r\n"},
    {"<br/>", "\r\n"},
    {"????", "    "},
    {"</br>", "\r\n"},
    {"&quot;", "\""},
    {"\r\n\r\n", "\r\n"},
}};

}  // namespace

void CleanChapterText(std::string& text) {
  for (const Replacement& r : kCleanupTable) text::ReplaceInPlace(text, r.find, r.replaceWith);
}

}  // namespace quill::extract
