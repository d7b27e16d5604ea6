#include "text/Text.h"

#include <climits>
#include <cstring>

namespace quill::text {
namespace {

constexpr unsigned char kFullWidthSpace = 0xA1;

unsigned char Byte(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Compares `needle` with the text at `at`, folding ASCII letters only where
// the text has a one-byte character.
bool MatchesFolded(std::string_view text, size_t at, std::string_view needle) {
  if (at + needle.size() > text.size()) return false;
  size_t j = 0;
  while (j < needle.size()) {
    unsigned char t = Byte(text, at + j);
    if (t >= 0x80) {
      if (t != Byte(needle, j)) return false;
      if (j + 1 < needle.size() && Byte(text, at + j + 1) != Byte(needle, j + 1)) return false;
      j += 2;
    } else {
      if (FoldAscii(t) != FoldAscii(Byte(needle, j))) return false;
      ++j;
    }
  }
  return true;
}

// 0-based offset of the first match at a character boundary at or after
// `from` (itself a boundary), or npos.
size_t FindFrom(std::string_view text, std::string_view needle, size_t from, bool ignoreCase) {
  if (from > text.size()) return std::string_view::npos;
  if (needle.empty()) return from;
  if (!ignoreCase) {
    // Let the library find candidates quickly; walk the character
    // boundaries forward to reject candidates that start on a trail byte.
    size_t boundary = from;
    size_t candidate = text.find(needle, from);
    while (candidate != std::string_view::npos) {
      while (boundary < candidate) boundary += CharLength(Byte(text, boundary));
      if (boundary == candidate) return candidate;
      candidate = text.find(needle, boundary);
    }
    return std::string_view::npos;
  }
  const unsigned char first = FoldAscii(Byte(needle, 0));
  for (size_t i = from; i + needle.size() <= text.size(); i += CharLength(Byte(text, i))) {
    unsigned char t = Byte(text, i);
    if ((t < 0x80 ? FoldAscii(t) : t) == first && MatchesFolded(text, i, needle)) return i;
  }
  return std::string_view::npos;
}

bool IsSpaceAt(std::string_view text, size_t i) {
  unsigned char b = Byte(text, i);
  if (b == ' ') return true;
  return b == kFullWidthSpace && i + 1 < text.size() && Byte(text, i + 1) == kFullWidthSpace;
}

}  // namespace

std::string_view UpToZero(std::string_view bytes) {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  if (!zero) return bytes;
  return bytes.substr(0, static_cast<const char*>(zero) - bytes.data());
}

int Find(std::string_view text, std::string_view needle, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  size_t at = FindFrom(text, needle, static_cast<size_t>(start - 1), ignoreCase);
  return at == std::string_view::npos ? -1 : static_cast<int>(at) + 1;
}

int FindLast(std::string_view text, std::string_view needle, bool ignoreCase) {
  if (needle.empty()) return -1;
  size_t last = std::string_view::npos;
  size_t at = FindFrom(text, needle, 0, ignoreCase);
  while (at != std::string_view::npos) {
    last = at;
    at = FindFrom(text, needle, at + CharLength(Byte(text, at)), ignoreCase);
  }
  return last == std::string_view::npos ? -1 : static_cast<int>(last) + 1;
}

int ReplaceInPlace(Text& text, std::string_view from, std::string_view to, bool ignoreCase) {
  if (from.empty()) return 0;
  size_t at = FindFrom(text, from, 0, ignoreCase);
  if (at == std::string_view::npos) return 0;
  Text out;
  out.reserve(text.size());
  size_t copied = 0;
  int count = 0;
  while (at != std::string_view::npos) {
    out.append(text, copied, at - copied);
    out.append(to);
    copied = at + from.size();
    ++count;
    at = FindFrom(text, from, copied, ignoreCase);
  }
  out.append(text, copied, std::string::npos);
  text.swap(out);
  return count;
}

Text Replace(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase) {
  Text out(text);
  ReplaceInPlace(out, from, to, ignoreCase);
  return out;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  size_t begin = 0;
  size_t at = FindFrom(text, separator, 0, false);
  while (at != std::string_view::npos) {
    pieces.push_back(text.substr(begin, at - begin));
    begin = at + separator.size();
    at = FindFrom(text, separator, begin, false);
  }
  if (begin < text.size()) pieces.push_back(text.substr(begin));
  return pieces;
}

std::string_view Trim(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsSpaceAt(text, begin)) begin += Byte(text, begin) == ' ' ? 1 : 2;
  // Walk forward so trail bytes are never mistaken for spaces; remember
  // where the last non-space character ended.
  size_t end = begin;
  for (size_t i = begin; i < text.size();) {
    bool space = IsSpaceAt(text, i);
    size_t len = space ? (Byte(text, i) == ' ' ? 1 : 2) : CharLength(Byte(text, i));
    i = std::min(i + len, text.size());
    if (!space) end = i;
  }
  return text.substr(begin, end - begin);
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (IsSpaceAt(text, i)) {
      i += Byte(text, i) == ' ' ? 1 : 2;
      continue;
    }
    size_t len = std::min<size_t>(CharLength(Byte(text, i)), text.size() - i);
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

Text ToLower(std::string_view text) {
  Text out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::string_view Left(std::string_view text, int n) {
  if (n <= 0) return {};
  return text.substr(0, std::min<size_t>(n, text.size()));
}

std::string_view Right(std::string_view text, int n) {
  if (n <= 0) return {};
  size_t len = std::min<size_t>(n, text.size());
  return text.substr(text.size() - len);
}

std::string_view Middle(std::string_view text, int p, int n) {
  if (n <= 0 || p < 1 || static_cast<size_t>(p) > text.size()) return {};
  return text.substr(p - 1, n);
}

int ToInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

}  // namespace quill::text
