#include "extract/EcmaPattern.h"

#include <climits>
#include <vector>

namespace quill::extract {
namespace {

// ECMAScript's line terminators are LF, CR, U+2028 and U+2029, each on its
// own: CR LF is two of them, so "^" matches between CR and LF. PCRE2's
// newline conventions know no such set (with CR LF among the newlines it
// counts the pair as one; its "." also stops at VT, FF and NEL under
// NEWLINE_ANY), so the line constructs are spelled out as classes.
constexpr std::u16string_view kNotLineTerminator = u"[^\\n\\r\\x{2028}\\x{2029}]";
constexpr std::u16string_view kLineStart = u"(?<![^\\n\\r\\x{2028}\\x{2029}])";
constexpr std::u16string_view kLineEnd = u"(?![^\\n\\r\\x{2028}\\x{2029}])";
// "[]" and "[^]" in ECMAScript; written as ranges so no compile option
// changes their meaning.
constexpr std::u16string_view kNothing = u"[^\\x{0}-\\x{10FFFF}]";
constexpr std::u16string_view kAnything = u"[\\x{0}-\\x{10FFFF}]";
// PCRE2's largest repeat count; ECMAScript has none, so larger counts fail.
constexpr unsigned kMaxRepeat = 65535;
constexpr unsigned kUnbounded = UINT_MAX;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsOctal(int c) { return c >= '0' && c <= '7'; }
bool IsAsciiLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiAlnum(int c) { return IsAsciiLetter(c) || IsDigit(c); }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHex(std::u16string& out, char32_t c) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  out += u"\\x{";
  bool started = false;
  for (int shift = 20; shift >= 0; shift -= 4) {
    unsigned d = (c >> shift) & 0xF;
    if (d || started || shift == 0) {
      out += kDigits[d];
      started = true;
    }
  }
  out += u'}';
}

// In the dialect a pattern is a sequence of UTF-16 code units, so a
// surrogate stands for one unit; the texts matched here come from code page
// 936, which has no character outside the BMP, so such a unit never matches.
void AppendLiteral(std::u16string& out, char32_t c) {
  if (IsSurrogate(c)) {
    out += kNothing;
  } else if (IsAsciiAlnum(static_cast<int>(c)) || c >= 0x80) {
    out += static_cast<char16_t>(c);
  } else {
    AppendHex(out, c);  // every ASCII sign and control, whatever PCRE2 makes of it raw
  }
}

struct ClassAtom {
  bool isClassEscape = false;  // \d \D \s \S \w \W
  char16_t escape = 0;
  char32_t code = 0;
};

class Translator {
 public:
  Translator(std::u16string_view pattern, bool multiline)
      : p_(pattern), multiline_(multiline), groups_(CountGroups(pattern)) {}

  std::optional<PcrePattern> Run() {
    // The callout before everything runs once per start position tried; the
    // caller uses it to bound the whole run. The group keeps a top-level
    // alternation behind it.
    out_ = u"(?C)(?:";
    while (i_ < p_.size()) {
      if (!Step()) return std::nullopt;
    }
    if (!stack_.empty()) return std::nullopt;
    out_ += u')';
    return PcrePattern{std::move(out_), groups_};
  }

 private:
  enum class Last { None, Atom, Assertion, Lookahead, Quantified };
  struct Group {
    bool lookahead;
    size_t outStart;
  };

  // Every capturing group of the whole pattern counts, also those after a
  // back-reference: "\2(a)(b)" refers forward.
  static int CountGroups(std::u16string_view p) {
    int n = 0;
    bool inClass = false;
    for (size_t i = 0; i < p.size(); ++i) {
      char16_t c = p[i];
      if (c == u'\\') {
        ++i;
      } else if (inClass) {
        if (c == u']') inClass = false;
      } else if (c == u'[') {
        inClass = true;  // "[]" is a whole (empty) class in this dialect
      } else if (c == u'(' && (i + 1 >= p.size() || p[i + 1] != u'?')) {
        ++n;
      }
    }
    return n;
  }

  int At(size_t k) const { return k < p_.size() ? static_cast<int>(p_[k]) : -1; }

  void Atom(std::u16string_view text) {
    out_ += text;
    last_ = Last::Atom;
  }
  void LiteralAtom(char32_t c) {
    AppendLiteral(out_, c);
    last_ = Last::Atom;
  }

  bool Step() {
    char16_t c = p_[i_];
    switch (c) {
      case u'|':
        out_ += u'|';
        ++i_;
        last_ = Last::None;
        return true;
      case u'(':
        return OpenGroup();
      case u')':
        return CloseGroup();
      case u'*':
        ++i_;
        return Quantify(0, kUnbounded);
      case u'+':
        ++i_;
        return Quantify(1, kUnbounded);
      case u'?':
        ++i_;
        return Quantify(0, 1);
      case u'{': {
        unsigned min = 0, max = 0;
        size_t end = 0;
        if (ReadBraces(min, max, end)) {
          i_ = end;
          return Quantify(min, max);
        }
        ++i_;  // not a quantifier: a literal brace
        LiteralAtom(u'{');
        return true;
      }
      case u'^':
        out_ += multiline_ ? kLineStart : u"\\A";
        ++i_;
        last_ = Last::Assertion;
        return true;
      case u'$':
        out_ += multiline_ ? kLineEnd : u"\\z";
        ++i_;
        last_ = Last::Assertion;
        return true;
      case u'.':
        ++i_;
        Atom(kNotLineTerminator);
        return true;
      case u'[':
        return CharacterClass();
      case u'\\':
        return Escape();
      default:
        ++i_;  // "]", "}" and every other character stand for themselves
        LiteralAtom(c);
        return true;
    }
  }

  bool OpenGroup() {
    size_t start = out_.size();
    if (At(i_ + 1) == u'?') {
      int kind = At(i_ + 2);
      if (kind == u':') {
        out_ += u"(?:";
        stack_.push_back({false, start});
      } else if (kind == u'=' || kind == u'!') {
        out_ += u"(?";
        out_ += static_cast<char16_t>(kind);
        stack_.push_back({true, start});
      } else {
        // Lookbehind, named groups, atomic groups, inline flags and every
        // PCRE2-only form: not in the dialect.
        return false;
      }
      i_ += 3;
    } else {
      out_ += u'(';
      stack_.push_back({false, start});
      ++i_;
    }
    last_ = Last::None;
    return true;
  }

  bool CloseGroup() {
    if (stack_.empty()) return false;
    Group g = stack_.back();
    stack_.pop_back();
    out_ += u')';
    ++i_;
    last_ = g.lookahead ? Last::Lookahead : Last::Atom;
    lastStart_ = g.outStart;
    return true;
  }

  // "{n}", "{n,}" or "{n,m}" at i_; anything else is literal text.
  bool ReadBraces(unsigned& min, unsigned& max, size_t& end) const {
    size_t j = i_ + 1;
    auto number = [&](unsigned& value) {
      size_t from = j;
      unsigned long long v = 0;
      while (IsDigit(At(j))) {
        v = v * 10 + static_cast<unsigned>(At(j) - u'0');
        if (v >= kUnbounded) v = kUnbounded - 1;
        ++j;
      }
      value = static_cast<unsigned>(v);
      return j > from;
    };
    if (!number(min)) return false;
    max = min;
    if (At(j) == u',') {
      ++j;
      if (!number(max)) max = kUnbounded;
    }
    if (At(j) != u'}') return false;
    end = j + 1;
    return true;
  }

  bool Quantify(unsigned min, unsigned max) {
    bool lazy = false;
    if (At(i_) == u'?') {
      lazy = true;
      ++i_;
    }
    if (max != kUnbounded && min > max) return false;
    switch (last_) {
      case Last::None:
      case Last::Assertion:
      case Last::Quantified:
        return false;  // nothing to repeat; "a*+" (possessive in PCRE2) lands here too
      case Last::Lookahead:
        // An iteration of a lookahead consumes nothing, and the dialect
        // rejects every empty iteration beyond the minimum: with a minimum of
        // 0 the lookahead is skipped, otherwise it is tested once.
        if (min == 0) {
          out_.insert(lastStart_, u"(?:");
          out_ += u"){0}";
        }
        last_ = Last::Quantified;
        return true;
      case Last::Atom:
        break;
    }
    if (min > kMaxRepeat || (max != kUnbounded && max > kMaxRepeat)) return false;
    if (min == 0 && max == kUnbounded) {
      out_ += u'*';
    } else if (min == 1 && max == kUnbounded) {
      out_ += u'+';
    } else if (min == 0 && max == 1) {
      out_ += u'?';
    } else {
      out_ += u'{';
      AppendNumber(min);
      if (max != min) {
        out_ += u',';
        if (max != kUnbounded) AppendNumber(max);
      }
      out_ += u'}';
    }
    if (lazy) out_ += u'?';
    last_ = Last::Quantified;
    return true;
  }

  void AppendNumber(unsigned n) {
    std::string digits = std::to_string(n);
    out_.append(digits.begin(), digits.end());
  }

  // Up to three octal digits, at most \377: the legacy escapes.
  char32_t ReadOctal(size_t& j) const {
    char32_t v = static_cast<char32_t>(At(j) - u'0');
    int more = v <= 3 ? 2 : 1;
    ++j;
    while (more-- > 0 && IsOctal(At(j))) {
      v = v * 8 + static_cast<char32_t>(At(j) - u'0');
      ++j;
    }
    return v;
  }

  // \xHH and \uHHHH need all their digits; otherwise the letter stands alone.
  bool ReadHex(size_t at, int digits, char32_t& value) const {
    value = 0;
    for (int k = 0; k < digits; ++k) {
      int h = HexValue(At(at + static_cast<size_t>(k)));
      if (h < 0) return false;
      value = value * 16 + static_cast<char32_t>(h);
    }
    return true;
  }

  // The escapes both contexts share; false when `e` is not one of them.
  bool CommonEscape(int e, char32_t& code, size_t& length) const {
    length = 2;
    switch (e) {
      case u'f': code = 0x0C; return true;
      case u'n': code = 0x0A; return true;
      case u'r': code = 0x0D; return true;
      case u't': code = 0x09; return true;
      case u'v': code = 0x0B; return true;  // one character, not PCRE2's class
      case u'x':
        if (ReadHex(i_ + 2, 2, code)) length = 4;
        else code = u'x';
        return true;
      case u'u':
        if (ReadHex(i_ + 2, 4, code)) length = 6;
        else code = u'u';
        return true;
      default:
        return false;
    }
  }

  bool Escape() {
    int e = At(i_ + 1);
    if (e < 0) return false;  // a backslash ending the pattern
    char32_t code = 0;
    size_t length = 0;
    if (CommonEscape(e, code, length)) {
      i_ += length;
      LiteralAtom(code);
      return true;
    }
    switch (e) {
      case u'b':
      case u'B':
        out_ += u'\\';
        out_ += static_cast<char16_t>(e);
        i_ += 2;
        last_ = Last::Assertion;
        return true;
      case u'd': case u'D': case u's': case u'S': case u'w': case u'W':
        // Without PCRE2_UCP these are the ASCII classes of the dialect; \s
        // is [\t\n\v\f\r ].
        out_ += u'\\';
        out_ += static_cast<char16_t>(e);
        i_ += 2;
        last_ = Last::Atom;
        return true;
      case u'c':
        if (IsAsciiLetter(At(i_ + 2))) {
          LiteralAtom(static_cast<char32_t>(At(i_ + 2) % 32));
          i_ += 3;
        } else {
          LiteralAtom(u'\\');  // a lone backslash; the "c" is read next
          i_ += 1;
        }
        return true;
      default:
        break;
    }
    if (e >= u'1' && e <= u'9') {
      size_t j = i_ + 1;
      unsigned long long n = 0;
      while (IsDigit(At(j))) {
        n = n * 10 + static_cast<unsigned>(At(j) - u'0');
        if (n > INT_MAX) n = INT_MAX;
        ++j;
      }
      if (n <= static_cast<unsigned long long>(groups_)) {
        out_ += u"\\g{";
        AppendNumber(static_cast<unsigned>(n));
        out_ += u'}';
        last_ = Last::Atom;
        i_ = j;
        return true;
      }
      // More than there are groups: an octal escape, or 8 and 9 themselves.
    }
    if (IsOctal(e)) {
      size_t j = i_ + 1;
      code = ReadOctal(j);
      i_ = j;
      LiteralAtom(code);
      return true;
    }
    // Any other character escapes to itself, letters included (\h \R \K \Q
    // \E \A \z \G \p \k ... are plain letters here).
    i_ += 2;
    LiteralAtom(static_cast<char32_t>(e));
    return true;
  }

  bool ReadClassAtom(ClassAtom& atom) {
    int c = At(i_);
    if (c != u'\\') {
      atom.code = static_cast<char32_t>(c);
      ++i_;
      return true;
    }
    int e = At(i_ + 1);
    if (e < 0) return false;
    size_t length = 0;
    if (CommonEscape(e, atom.code, length)) {
      i_ += length;
      return true;
    }
    switch (e) {
      case u'b':
        atom.code = 0x08;
        i_ += 2;
        return true;
      case u'd': case u'D': case u's': case u'S': case u'w': case u'W':
        atom.isClassEscape = true;
        atom.escape = static_cast<char16_t>(e);
        i_ += 2;
        return true;
      case u'c': {
        int x = At(i_ + 2);
        if (IsAsciiLetter(x) || IsDigit(x) || x == u'_') {
          atom.code = static_cast<char32_t>(x % 32);
          i_ += 3;
        } else {
          atom.code = u'\\';
          i_ += 1;
        }
        return true;
      }
      default:
        break;
    }
    if (IsOctal(e)) {  // no back-references inside a class
      size_t j = i_ + 1;
      atom.code = ReadOctal(j);
      i_ = j;
      return true;
    }
    atom.code = static_cast<char32_t>(e);
    i_ += 2;
    return true;
  }

  // Members are written as \x{...} so that nothing inside the brackets means
  // more to PCRE2 than it does here ("[[:alpha:]]" is no POSIX class, "]"
  // first is no member, "[\d-z]" is no range).
  static void AppendRange(std::u16string& body, char32_t lo, char32_t hi, bool& any) {
    auto piece = [&](char32_t a, char32_t b) {
      if (a > b) return;
      AppendHex(body, a);
      if (b != a) {
        body += u'-';
        AppendHex(body, b);
      }
      any = true;
    };
    piece(lo, hi < 0xD800 ? hi : 0xD7FF);
    piece(lo > 0xDFFF ? lo : 0xE000, hi);
  }

  static void AppendAtom(std::u16string& body, const ClassAtom& a, bool& any) {
    if (a.isClassEscape) {
      body += u'\\';
      body += a.escape;
      any = true;
    } else {
      AppendRange(body, a.code, a.code, any);
    }
  }

  bool CharacterClass() {
    ++i_;
    bool negate = false;
    if (At(i_) == u'^') {
      negate = true;
      ++i_;
    }
    std::u16string body;
    bool any = false;
    for (;;) {
      int c = At(i_);
      if (c < 0) return false;
      if (c == u']') {
        ++i_;
        break;
      }
      ClassAtom a;
      if (!ReadClassAtom(a)) return false;
      if (At(i_) == u'-' && At(i_ + 1) >= 0 && At(i_ + 1) != u']') {
        ++i_;
        ClassAtom b;
        if (!ReadClassAtom(b)) return false;
        if (a.isClassEscape || b.isClassEscape) {
          // Web-compat grammar: a class escape cannot bound a range, so the
          // hyphen is a member.
          AppendAtom(body, a, any);
          AppendRange(body, u'-', u'-', any);
          AppendAtom(body, b, any);
        } else {
          if (a.code > b.code) return false;
          AppendRange(body, a.code, b.code, any);
        }
      } else {
        AppendAtom(body, a, any);
      }
    }
    if (!any) {
      Atom(negate ? kAnything : kNothing);
    } else {
      out_ += negate ? u"[^" : u"[";
      out_ += body;
      out_ += u']';
      last_ = Last::Atom;
    }
    return true;
  }

  std::u16string_view p_;
  size_t i_ = 0;
  bool multiline_;
  int groups_;
  std::u16string out_;
  Last last_ = Last::None;
  size_t lastStart_ = 0;
  std::vector<Group> stack_;
};

}  // namespace

std::optional<PcrePattern> TranslateEcmaPattern(std::u16string_view pattern, bool multiline) {
  return Translator(pattern, multiline).Run();
}

}  // namespace quill::extract
