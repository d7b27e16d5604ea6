#pragma once
// The rule files' patterns are written for the ECMAScript dialect of the
// scripting engines' RegExp object (no Unicode flag, with the web-compat
// grammar: legacy octal escapes, identity escapes, literal braces and
// brackets). PCRE2 reads much of that the same way but not all of it, so each
// pattern is rewritten into PCRE2 syntax that spells out every construct
// whose meaning differs, and constructs the dialect does not have are
// refused.
#include <optional>
#include <string>
#include <string_view>

namespace quill::extract {

struct PcrePattern {
  std::u16string source;  // PCRE2 syntax, UTF-16
  int groups = 0;         // capturing groups, counted by opening parenthesis
};

// The rewritten pattern, or nothing when the pattern is not valid in the
// dialect or uses what the dialect lacks (lookbehind, named groups, any other
// "(?" form but "(?:", "(?=" and "(?!"). The result is meant for PCRE2_UTF
// without PCRE2_UCP, PCRE2_MULTILINE, PCRE2_DOTALL or PCRE2_EXTENDED; it
// starts with a callout, (?C), taken once per attempted start position.
std::optional<PcrePattern> TranslateEcmaPattern(std::u16string_view pattern, bool multiline);

}  // namespace quill::extract
