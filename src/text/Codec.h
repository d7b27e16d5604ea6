#pragma once
// Conversions between code page 936, UTF-16 and UTF-8, with the results the
// Windows conversion functions give with flags 0: nothing is ever reported,
// each maximal invalid UTF-8 subsequence becomes U+FFFD, a character code
// page 936 cannot hold becomes '?', and a malformed code-page-936 byte
// becomes '?' (a lead byte before a byte that cannot trail it is replaced
// alone and the next byte is read afresh).
//
// The table is glibc iconv's CP936, read once per process into arrays.
#include <string>
#include <string_view>

namespace quill::text {

std::u16string Cp936ToUtf16(std::string_view local);
std::string Utf16ToCp936(std::u16string_view wide);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view wide);

// Source files are UTF-8 while every text the core handles is code page 936:
// every literal with Chinese characters goes through this one helper.
std::string Cp936(std::string_view utf8);
// The other way, for the window toolkit's seam, logs and test messages.
std::string Utf8(std::string_view local);

}  // namespace quill::text
