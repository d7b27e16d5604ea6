#pragma once
// Turning UTF-8 pages into code-page-936 texts, through UTF-16 as the Windows
// conversion functions do with flags 0: each maximal invalid UTF-8
// subsequence becomes U+FFFD, a character code page 936 cannot hold becomes
// '?', and nothing is ever reported.
//
// Code pages known here: 65001 (UTF-8), 936, and 0, the ANSI code page, which
// for this program is always 936. Any other code page fails the conversion.
// Inputs are read up to their first zero byte (zero unit for UTF-16).
#include <optional>
#include <string>
#include <string_view>

namespace quill::web {

// A UTF-8 page text as a code-page-936 text; the same as
// FromUtf16(ToUtf16(utf8), 936).
std::string Utf8ToLocal(std::string_view utf8);

// The text (65001 when no code page is given) as UTF-16, two bytes per unit,
// little-endian, ending in a zero unit. The room is as many units as the
// text yields when read in the ANSI code page, so further zero units may
// follow; when the real conversion needs more, the room grows to hold it.
// An unknown code page gives the room filled with zeros.
std::string ToUtf16(std::string_view text, std::optional<int> codePage = {});

// UTF-16 bytes as above (up to the first zero unit) as a text in the code
// page (0 when none is given). The whole conversion is returned; an unknown
// code page gives an empty text.
std::string FromUtf16(std::string_view wide, std::optional<int> codePage = {});

}  // namespace quill::web
