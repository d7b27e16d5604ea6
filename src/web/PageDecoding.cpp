#include "web/PageDecoding.h"

#include <algorithm>

#include "text/Codec.h"
#include "text/Text.h"

namespace quill::web {
namespace {

constexpr int kAnsi = 0;
constexpr int kCp936 = 936;
constexpr int kUtf8 = 65001;

std::optional<std::u16string> Decode(std::string_view text, int codePage) {
  if (codePage == kUtf8) return text::Utf8ToUtf16(text);
  if (codePage == kCp936 || codePage == kAnsi) return text::Cp936ToUtf16(text);
  return std::nullopt;
}

std::optional<std::string> Encode(std::u16string_view wide, int codePage) {
  if (codePage == kUtf8) return text::Utf16ToUtf8(wide);
  if (codePage == kCp936 || codePage == kAnsi) return text::Utf16ToCp936(wide);
  return std::nullopt;
}

std::u16string UnitsUpToZero(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char16_t u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u == 0) break;
    units += u;
  }
  return units;
}

}  // namespace

std::string Utf8ToLocal(std::string_view utf8) {
  return text::Utf16ToCp936(text::Utf8ToUtf16(text::UpToZero(utf8)));
}

std::string ToUtf16(std::string_view text, std::optional<int> codePage) {
  const std::string_view input = text::UpToZero(text);
  // The room is counted with the ANSI reading, as the Windows routine did;
  // for some invalid UTF-8 (C0 41 is one GBK character but two UTF-16 units
  // as UTF-8) that room is too small, and a page must never be cut short.
  size_t room = text::Cp936ToUtf16(input).size() + 1;
  const std::optional<std::u16string> units = Decode(input, codePage.value_or(kUtf8));
  if (units) room = std::max(room, units->size() + 1);
  std::string out(2 * room, '\0');
  if (units)
    for (size_t i = 0; i < units->size(); ++i) {
      out[2 * i] = static_cast<char>((*units)[i] & 0xFF);
      out[2 * i + 1] = static_cast<char>((*units)[i] >> 8);
    }
  return out;
}

std::string FromUtf16(std::string_view wide, std::optional<int> codePage) {
  std::optional<std::string> out = Encode(UnitsUpToZero(wide), codePage.value_or(kAnsi));
  return out ? std::move(*out) : std::string();
}

}  // namespace quill::web
