// Page decoding over random bytes. Utf8ToLocal: no zero byte comes out,
// one character comes out per character in, the ASCII characters come
// through in order, nothing grows past what the replacements allow, and
// valid UTF-8 that code page 936 holds entirely comes back from it
// unchanged. ToUtf16 and FromUtf16: the conversion, then zero units only,
// in the room the ANSI reading counts or more; texts end at their first
// zero.
//
// Input: a first byte choosing the code page, then the text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "text/Codec.h"
#include "text/Text.h"
#include "web/PageDecoding.h"

namespace {

using namespace quill;
using fuzz::Check;

std::optional<int> CodePage(uint8_t choice) {
  switch (choice % 6) {
    case 0: return std::nullopt;
    case 1: return 0;
    case 2: return 936;
    case 3: return 65001;
    case 4: return 1252;
    default: return static_cast<int>(choice) - 128;
  }
}

bool IsUtf8(int codePage) { return codePage == 65001; }
bool IsLocal(int codePage) { return codePage == 0 || codePage == 936; }

std::string AsciiBesidesQuestionMarks(std::u16string_view units) {
  std::string out;
  for (char16_t u : units)
    if (u < 0x80 && u != u'?') out += static_cast<char>(u);
  return out;
}

size_t Count(std::string_view s, char c) {
  size_t n = 0;
  for (char x : s) n += x == c;
  return n;
}

size_t SurrogatePairs(std::u16string_view units) {
  size_t n = 0;
  for (size_t i = 0; i + 1 < units.size(); ++i)
    if (units[i] >= 0xD800 && units[i] <= 0xDBFF && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++n;
      ++i;
    }
  return n;
}

void CheckToLocal(std::string_view bytes) {
  const std::string_view in = text::UpToZero(bytes);
  const std::string local = web::Utf8ToLocal(bytes);
  Check(local.find('\0') == std::string::npos);
  Check(web::FromUtf16(web::ToUtf16(bytes), 936) == local);

  const std::u16string units = text::Utf8ToUtf16(in);
  const std::u16string back = text::Cp936ToUtf16(local);
  Check(back.size() == units.size() - SurrogatePairs(units));
  std::string inAscii;
  for (char c : in)
    if (static_cast<unsigned char>(c) < 0x80 && c != '?') inAscii += c;
  Check(AsciiBesidesQuestionMarks(back) == inAscii);
  if (fuzz::IsAscii(in)) Check(local == in);

  static const size_t replacementBytes = text::Utf16ToCp936(u"\uFFFD").size();
  Check(local.size() <= in.size() * std::max<size_t>(1, replacementBytes));

  const bool valid = text::Utf16ToUtf8(units) == in;
  if (valid && Count(local, '?') == Count(in, '?')) Check(text::Utf16ToUtf8(back) == in);
}

void CheckToUtf16(std::string_view bytes, std::optional<int> codePage) {
  const std::string_view in = text::UpToZero(bytes);
  const int cp = codePage.value_or(65001);
  std::u16string decoded;
  if (IsUtf8(cp)) decoded = text::Utf8ToUtf16(in);
  if (IsLocal(cp)) decoded = text::Cp936ToUtf16(in);
  Check(decoded.find(u'\0') == std::u16string::npos);

  const std::string wide = web::ToUtf16(bytes, codePage);
  Check(wide.size() % 2 == 0);
  const size_t room = std::max(text::Cp936ToUtf16(in).size(), decoded.size()) + 1;
  Check(wide.size() == 2 * room);
  for (size_t i = 0; i < room; ++i) {
    const char16_t u = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                             static_cast<unsigned char>(wide[2 * i + 1]) << 8);
    Check(u == (i < decoded.size() ? decoded[i] : u'\0'));
  }

  // And back through the same code page.
  const std::string again = web::FromUtf16(wide, codePage ? codePage : std::optional<int>(65001));
  if (IsUtf8(cp)) Check(again == text::Utf16ToUtf8(decoded));
  if (IsLocal(cp)) Check(again == text::Utf16ToCp936(decoded));
  if (!IsUtf8(cp) && !IsLocal(cp)) Check(again.empty());
}

void CheckFromUtf16(std::string_view bytes, std::optional<int> codePage) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u == 0) break;
    units += u;
  }
  const int cp = codePage.value_or(0);
  const std::string out = web::FromUtf16(bytes, codePage);
  Check(out.find('\0') == std::string::npos);
  if (IsUtf8(cp)) Check(out == text::Utf16ToUtf8(units));
  if (IsLocal(cp)) Check(out == text::Utf16ToCp936(units));
  if (!IsUtf8(cp) && !IsLocal(cp)) Check(out.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::optional<int> codePage = CodePage(data[0]);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  CheckToLocal(bytes);
  CheckToUtf16(bytes, codePage);
  CheckFromUtf16(bytes, codePage);
  return 0;
}
