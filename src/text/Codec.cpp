#include "text/Codec.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace quill::text {
namespace {

constexpr char16_t kUnmapped = 0;  // U+0000 never comes from a double byte
constexpr char16_t kReplacement = 0xFFFD;

bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

struct Cp936Tables {
  // The user-defined areas hold no characters in glibc's table; Windows maps
  // them onto the private use area. Doing the same lets any well-formed
  // double byte survive a trip through UTF-16 (the pattern engine's form).
  void MapUserDefinedAreas() {
    auto assign = [&](int lead, int trail, int code) {
      if (pair[lead << 8 | trail] == kUnmapped) pair[lead << 8 | trail] = static_cast<char16_t>(code);
    };
    for (int lead = 0xAA; lead <= 0xAF; ++lead)
      for (int trail = 0xA1; trail <= 0xFE; ++trail) assign(lead, trail, 0xE000 + (lead - 0xAA) * 94 + trail - 0xA1);
    for (int lead = 0xF8; lead <= 0xFE; ++lead)
      for (int trail = 0xA1; trail <= 0xFE; ++trail) assign(lead, trail, 0xE234 + (lead - 0xF8) * 94 + trail - 0xA1);
    for (int lead = 0xA1; lead <= 0xA7; ++lead) {
      int index = 0;
      for (int trail = 0x40; trail <= 0xA0; ++trail) {
        if (trail == 0x7F) continue;
        assign(lead, trail, 0xE4C6 + (lead - 0xA1) * 96 + index++);
      }
    }
  }

  std::array<char16_t, 256> single{};      // one-byte characters; 0 = invalid
  std::array<char16_t, 65536> pair{};      // lead<<8 | trail -> UTF-16; 0 = unmapped
  std::array<uint16_t, 65536> encode{};    // UTF-16 -> bytes (<0x100 one byte); 0 = unmapped

  Cp936Tables() {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no CP936");
    auto decode = [&](const char* in, size_t len) -> char16_t {
      char out[8];
      char* inp = const_cast<char*>(in);
      char* outp = out;
      size_t inleft = len, outleft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) || inleft != 0 ||
          outp - out != 2)
        return kUnmapped;
      return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                   static_cast<unsigned char>(out[1]) << 8);
    };
    for (int b = 0; b < 0x80; ++b) single[b] = static_cast<char16_t>(b);
    const char euro = static_cast<char>(0x80);
    single[0x80] = decode(&euro, 1);
    for (int lead = 0x81; lead <= 0xFE; ++lead)
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        pair[lead << 8 | trail] = decode(bytes, 2);
      }
    iconv_close(cd);
    MapUserDefinedAreas();

    // Invert, keeping the first (lowest) byte sequence for a character that
    // more than one sequence decodes to.
    for (int b = 0; b < 0x100; ++b)
      if (single[b] != kUnmapped || b == 0)
        if (encode[single[b]] == 0) encode[single[b]] = static_cast<uint16_t>(b);
    for (int code = 0x8140; code <= 0xFEFE; ++code) {
      char16_t u = pair[code];
      if (u != kUnmapped && encode[u] == 0) encode[u] = static_cast<uint16_t>(code);
    }
  }
};

const Cp936Tables& Tables() {
  static const auto* tables = new Cp936Tables();  // lives for the process
  return *tables;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}

}  // namespace

std::u16string Cp936ToUtf16(std::string_view local) {
  const Cp936Tables& t = Tables();
  std::u16string out;
  out.reserve(local.size());
  for (size_t i = 0; i < local.size();) {
    unsigned char b = static_cast<unsigned char>(local[i]);
    if (b <= 0x80) {
      out += b == 0x80 && t.single[0x80] == kUnmapped ? u'?' : t.single[b];
      ++i;
      continue;
    }
    if (b == 0xFF || i + 1 >= local.size() || !IsTrailByte(static_cast<unsigned char>(local[i + 1]))) {
      out += u'?';  // the next byte is read afresh
      ++i;
      continue;
    }
    char16_t u = t.pair[b << 8 | static_cast<unsigned char>(local[i + 1])];
    out += u == kUnmapped ? u'?' : u;
    i += 2;
  }
  return out;
}

std::string Utf16ToCp936(std::u16string_view wide) {
  const Cp936Tables& t = Tables();
  std::string out;
  out.reserve(wide.size() * 2);
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t u = wide[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      out += '?';  // one character outside the code page, one '?'
      ++i;
      continue;
    }
    uint16_t code = t.encode[u];
    if (code == 0 && u != 0) {
      out += '?';
    } else if (code < 0x100) {
      out += static_cast<char>(code);
    } else {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < n) {
    unsigned char b = at(i);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    // Well-formed sequences per the Unicode standard's table; anything else
    // is replaced by one U+FFFD per maximal subpart.
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t c;
    if (b >= 0xC2 && b <= 0xDF) { need = 1; c = b & 0x1F; }
    else if (b == 0xE0) { need = 2; lo = 0xA0; c = b & 0x0F; }
    else if (b >= 0xE1 && b <= 0xEC) { need = 2; c = b & 0x0F; }
    else if (b == 0xED) { need = 2; hi = 0x9F; c = b & 0x0F; }
    else if (b >= 0xEE && b <= 0xEF) { need = 2; c = b & 0x0F; }
    else if (b == 0xF0) { need = 3; lo = 0x90; c = b & 0x07; }
    else if (b >= 0xF1 && b <= 0xF3) { need = 3; c = b & 0x07; }
    else if (b == 0xF4) { need = 3; hi = 0x8F; c = b & 0x07; }
    else { out += kReplacement; ++i; continue; }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= n) { ok = false; break; }
      unsigned char cb = at(j);
      unsigned char l = k == 0 ? lo : 0x80, h = k == 0 ? hi : 0xBF;
      if (cb < l || cb > h) { ok = false; break; }
      c = c << 6 | (cb & 0x3F);
    }
    if (!ok) {
      out += kReplacement;
      i = j;  // the maximal subpart ends before the offending byte
      continue;
    }
    AppendUtf16(out, c);
    i = j;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view w) {
  std::string out;
  out.reserve(w.size() * 3);
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string Cp936(std::string_view utf8) { return Utf16ToCp936(Utf8ToUtf16(utf8)); }

std::string Utf8(std::string_view local) { return Utf16ToUtf8(Cp936ToUtf16(local)); }

}  // namespace quill::text
