// The code-page-936 text operations and conversions over random input,
// checked against plain reference scans and against their own invariants:
// a match starts on a character boundary counted from where the scan began,
// nothing is read past the text, and conversions are stable.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/Codec.h"
#include "text/Text.h"

namespace {

using namespace quill::text;

void Check(bool ok) {
  if (!ok) std::abort();
}

unsigned char At(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }
unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Whether `needle` stands at `i`, folding only the text's one-byte characters.
bool MatchesAt(std::string_view text, size_t i, std::string_view needle, bool ignoreCase) {
  if (i + needle.size() > text.size()) return false;
  if (!ignoreCase) return text.substr(i, needle.size()) == needle;
  for (size_t j = 0; j < needle.size();) {
    unsigned char t = At(text, i + j);
    if (t >= 0x80) {
      if (t != At(needle, j) || (j + 1 < needle.size() && At(text, i + j + 1) != At(needle, j + 1))) return false;
      j += 2;
    } else {
      if (Fold(t) != Fold(At(needle, j))) return false;
      ++j;
    }
  }
  return true;
}

// 0-based, stepping whole characters from `from`; npos when none.
size_t ReferenceFind(std::string_view text, std::string_view needle, size_t from, bool ignoreCase) {
  if (from > text.size()) return std::string_view::npos;
  if (needle.empty()) return from;
  for (size_t i = from; i < text.size(); i += CharLength(At(text, i)))
    if (MatchesAt(text, i, needle, ignoreCase)) return i;
  return std::string_view::npos;
}

void CheckFind(std::string_view text, std::string_view needle, int start, bool ignoreCase) {
  const size_t from = static_cast<size_t>(start < 1 ? 0 : start - 1);
  const size_t expected = ReferenceFind(text, needle, from, ignoreCase);
  const int got = Find(text, needle, start, ignoreCase);
  Check(got == (expected == std::string_view::npos ? -1 : static_cast<int>(expected) + 1));
  if (got > 0) Check(static_cast<size_t>(got - 1) + needle.size() <= text.size());

  size_t last = std::string_view::npos;
  if (!needle.empty())
    for (size_t at = ReferenceFind(text, needle, 0, ignoreCase); at != std::string_view::npos;
         at = ReferenceFind(text, needle, at + CharLength(At(text, at)), ignoreCase))
      last = at;
  Check(FindLast(text, needle, ignoreCase) == (last == std::string_view::npos ? -1 : static_cast<int>(last) + 1));
  Check(Contains(text, needle, ignoreCase) == (ReferenceFind(text, needle, 0, ignoreCase) != std::string_view::npos));
}

void CheckReplace(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase) {
  std::string expected;
  int count = 0;
  if (from.empty()) {
    expected = text;
  } else {
    size_t copied = 0;
    for (size_t at = ReferenceFind(text, from, 0, ignoreCase); at != std::string_view::npos;
         at = ReferenceFind(text, from, copied, ignoreCase)) {
      expected.append(text.substr(copied, at - copied)).append(to);
      copied = at + from.size();
      ++count;
    }
    expected.append(text.substr(copied));
  }
  Check(Replace(text, from, to, ignoreCase) == expected);
  std::string inPlace(text);
  Check(ReplaceInPlace(inPlace, from, to, ignoreCase) == count && inPlace == expected);
}

void CheckSplit(std::string_view text, std::string_view separator) {
  auto pieces = Split(text, separator);
  if (text.empty()) return Check(pieces.empty());
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    Check(pieces[i].data() >= text.data() && pieces[i].data() + pieces[i].size() <= text.data() + text.size());
    if (i) joined.append(separator);
    joined.append(pieces[i]);
  }
  Check(joined == text || (!separator.empty() && joined + std::string(separator) == text));
}

void CheckSpaces(std::string_view text) {
  std::string_view trimmed = Trim(text);
  Check(trimmed.data() >= text.data() && trimmed.data() + trimmed.size() <= text.data() + text.size());
  Check(Trim(trimmed) == trimmed);
  const std::string removed = RemoveSpaces(text);
  Check(RemoveSpaces(removed) == removed && RemoveSpaces(trimmed) == removed);
  const std::string lower = ToLower(text);
  Check(lower.size() == text.size());
  for (size_t i = 0; i < text.size(); ++i)
    Check(At(lower, i) == Fold(At(text, i)));
  std::string_view zero = UpToZero(text);
  Check(zero.find('\0') == std::string_view::npos && text.substr(0, zero.size()) == zero);
}

void CheckPieces(std::string_view text, int n, int p) {
  const size_t size = text.size();
  const size_t want = n <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), size);
  Check(Left(text, n) == text.substr(0, want));
  Check(Right(text, n) == text.substr(size - want));
  std::string_view middle = Middle(text, p, n);
  if (n <= 0 || p < 1 || static_cast<size_t>(p) > size)
    Check(middle.empty());
  else
    Check(middle == text.substr(static_cast<size_t>(p) - 1, static_cast<size_t>(n)));
}

void CheckInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 40);
  value = negative ? std::max<long long>(-value, INT_MIN) : std::min<long long>(value, INT_MAX);
  Check(ToInteger(text) == value);
}

void CheckCodec(std::string_view bytes) {
  const std::u16string wide = Cp936ToUtf16(bytes);
  Check(wide.size() <= bytes.size() && 2 * wide.size() >= bytes.size());
  Check(Cp936ToUtf16(Utf16ToCp936(wide)) == wide);

  const std::u16string fromUtf8 = Utf8ToUtf16(bytes);
  const std::string utf8 = Utf16ToUtf8(fromUtf8);
  Check(Utf8ToUtf16(utf8) == fromUtf8);
  Check(Utf8(Cp936(bytes)) == Utf8(Cp936(Utf8(Cp936(bytes)))));

  // The same bytes taken as UTF-16, lone surrogates and all.
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(At(bytes, 2 * i) | At(bytes, 2 * i + 1) << 8);
  const std::string again = Utf16ToUtf8(units);
  Check(Utf16ToUtf8(Utf8ToUtf16(again)) == again);
  Utf16ToCp936(units);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool ignoreCase = in.ConsumeBool();
  const int start = in.ConsumeIntegralInRange<int>(-2, 300);
  const int n = in.ConsumeIntegralInRange<int>(-2, 300);
  const std::string needle = in.ConsumeRandomLengthString(16);
  const std::string to = in.ConsumeRandomLengthString(16);
  const std::string text = in.ConsumeRemainingBytesAsString();

  CheckFind(text, needle, start, ignoreCase);
  CheckReplace(text, needle, to, ignoreCase);
  CheckSplit(text, needle);
  CheckSpaces(text);
  CheckPieces(text, n, start);
  CheckInteger(text);
  CheckCodec(text);
  return 0;
}
