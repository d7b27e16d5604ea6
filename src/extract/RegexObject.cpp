#include "extract/RegexObject.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <vector>

#include "extract/EcmaPattern.h"
#include "text/Codec.h"
#include "text/Text.h"

namespace quill::extract {
namespace {

using Clock = std::chrono::steady_clock;

// Compile options, each for a reason:
// - PCRE2_UTF: pattern and subject are read as characters, so case folding
//   reaches every letter a page can hold (Greek, Cyrillic, full-width Latin).
// - PCRE2_MATCH_INVALID_UTF: no validity scan of the subject on each call of
//   the global loop (the scan is as long as the page, which would make the
//   loop quadratic), and an unpaired surrogate simply never matches.
// - PCRE2_MATCH_UNSET_BACKREF: a back-reference to a group that has not
//   captured (a forward reference, a group in another alternative) matches
//   the empty text, as in the dialect.
// - PCRE2_CASELESS, only when case is ignored.
// Deliberately not set: PCRE2_UCP, since the dialect's \d \w \s \b are ASCII;
// PCRE2_MULTILINE, PCRE2_DOLLAR_ENDONLY and PCRE2_ALLOW_EMPTY_CLASS, since
// the translation spells out line starts and ends, the subject's ends and
// the classes "[]" and "[^]", so these would change nothing;
// PCRE2_ALT_BSUX and PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL, since the translation
// resolves every escape itself and writes characters as \x{...}, which
// PCRE2_ALT_BSUX would turn into literal text.
constexpr uint32_t kBaseOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MATCH_UNSET_BACKREF;
// Nothing the translation emits depends on the newline convention; LF is
// the one that never makes CR LF a single unit should anything consult it.
constexpr uint32_t kNewline = PCRE2_NEWLINE_LF;

// Bounds for one start position. A nested quantifier over a large page can
// otherwise backtrack for hours; hitting any of these fails the run.
constexpr uint32_t kMatchLimit = 10'000'000;    // backtracking steps
constexpr uint32_t kDepthLimit = 1'000'000;     // nesting of backtrack points (interpreter)
constexpr uint32_t kHeapLimitKiB = 64 * 1024;   // the interpreter's frames
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 64 * 1024 * 1024;  // a group repeated a million times fits

constexpr uint32_t kUnset = UINT32_MAX;

std::atomic<long long> gBudgetMs{10'000};

struct CodeFree {
  void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* m) const { pcre2_match_context_free(m); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* c) const { pcre2_compile_context_free(c); }
};

// The default JIT stack (32 KiB on the machine stack) is too small for a
// repeated group over a long line; one larger stack per thread, made when
// first needed, freed when the thread ends.
pcre2_jit_stack* ThreadJitStack() {
  struct Holder {
    pcre2_jit_stack* stack = nullptr;
    ~Holder() {
      if (stack) pcre2_jit_stack_free(stack);
    }
  };
  thread_local Holder holder;
  if (!holder.stack) holder.stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
  return holder.stack;
}

struct RunBudget {
  Clock::time_point deadline;
  unsigned calls = 0;
};

// Taken at every start position tried (the translation puts (?C) first).
// The clock is read every 16th time: a start position costs at most the
// match limit, so the overshoot stays small.
int OnStartPosition(pcre2_callout_block*, void* data) {
  auto* budget = static_cast<RunBudget*>(data);
  if ((++budget->calls & 15) == 0 && Clock::now() > budget->deadline) return PCRE2_ERROR_CALLOUT;
  return 0;
}

const std::string& QuoteMarker() {
  static const std::string marker = text::Cp936("#引号");
  return marker;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

struct RegexObject::Impl {
  std::unique_ptr<pcre2_match_context, MatchContextFree> context;
  RunBudget budget;

  std::unique_ptr<pcre2_code, CodeFree> code;
  std::unique_ptr<pcre2_match_data, MatchDataFree> matchData;
  std::string pattern;  // in force, code page 936
  std::string local;    // the subject as given
  std::u16string wide;  // the subject as matched
  bool ignoreCase = false;
  bool global = false;
  int groups = 0;
  int count = 0;
  // Per match, (groups + 1) pairs of UTF-16 offsets; kUnset for a group
  // that took no part.
  std::vector<uint32_t> spans;
  // A character boundary of `local` at or before the last position search's
  // start, so searches in match order walk the text once.
  mutable size_t boundary = 0;

  Impl() : context(pcre2_match_context_create(nullptr)) {
    if (!context) return;
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKiB);
    pcre2_set_callout(context.get(), OnStartPosition, &budget);
  }

  void Clear() {
    code.reset();
    matchData.reset();
    pattern.clear();
    local.clear();
    wide.clear();
    groups = 0;
    count = 0;
    spans.clear();
    boundary = 0;
  }

  // ECMAScript's global loop: after an empty match the search goes on one
  // code unit further, so a match can never start where an empty one did.
  template <class OnMatch>
  bool Run(OnMatch&& onMatch) {
    budget.deadline = Clock::now() + RegexTimeBudget();
    budget.calls = 0;
    pcre2_jit_stack_assign(context.get(), nullptr, ThreadJitStack());
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(wide.data());
    const size_t length = wide.size();
    size_t start = 0;
    while (start <= length) {
      int rc = pcre2_match(code.get(), subject, length, start, 0, matchData.get(), context.get());
      if (rc == PCRE2_ERROR_NOMATCH) return true;
      if (rc <= 0) return false;  // a limit, the time budget, anything else
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(matchData.get());
      onMatch(ov);
      if (!global) return true;
      start = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
    }
    return true;
  }

  uint32_t Begin(int i, int k) const { return spans[(static_cast<size_t>(i - 1) * (groups + 1) + k) * 2]; }
  uint32_t End(int i, int k) const { return spans[(static_cast<size_t>(i - 1) * (groups + 1) + k) * 2 + 1]; }

  std::string Text(uint32_t begin, uint32_t end) const {
    return text::Utf16ToCp936(std::u16string_view(wide).substr(begin, end - begin));
  }

  // The search from the match's UTF-16 index taken as a 1-based byte
  // position. That start can fall on the second byte of a character; it is
  // moved to the next character boundary of the text, since reading the
  // text from a trail byte would pair bytes of different characters and
  // could step over the match itself.
  int Position(std::string_view needle, uint32_t firstIndex) const {
    const size_t target = firstIndex > 0 ? firstIndex - 1 : 0;
    if (boundary > target) boundary = 0;
    size_t b = boundary;
    while (b < target && b < local.size()) {
      boundary = b;
      b += static_cast<size_t>(text::CharLength(static_cast<unsigned char>(local[b])));
    }
    if (b <= target) boundary = b;
    if (b > local.size()) b = local.size();
    int found = text::Find(local, needle, static_cast<int>(b) + 1, ignoreCase);
    return found - 1;  // -2 when not found
  }

  // ECMAScript's GetSubstitution.
  void Substitute(std::u16string& out, std::u16string_view tmpl, const PCRE2_SIZE* ov) const {
    std::u16string_view s(wide);
    for (size_t j = 0; j < tmpl.size(); ++j) {
      char16_t c = tmpl[j];
      if (c != u'$' || j + 1 >= tmpl.size()) {
        out += c;
        continue;
      }
      char16_t n = tmpl[j + 1];
      if (n == u'$') {
        out += u'$';
        ++j;
      } else if (n == u'&') {
        out += s.substr(ov[0], ov[1] - ov[0]);
        ++j;
      } else if (n == u'`') {
        out += s.substr(0, ov[0]);
        ++j;
      } else if (n == u'\'') {
        out += s.substr(ov[1]);
        ++j;
      } else if (IsDigit(n)) {
        // Two digits when they name a group, else one digit and a literal.
        int digits = 1;
        int index = n - u'0';
        if (j + 2 < tmpl.size() && IsDigit(tmpl[j + 2])) {
          int two = index * 10 + (tmpl[j + 2] - u'0');
          if (two <= groups) {
            digits = 2;
            index = two;
          }
        }
        if (index >= 1 && index <= groups) {
          PCRE2_SIZE b = ov[2 * index], e = ov[2 * index + 1];
          if (b != PCRE2_UNSET) out += s.substr(b, e - b);
          j += static_cast<size_t>(digits);
        } else {
          out += u'$';  // "$0", "$00" and numbers past the groups stay as written
        }
      } else {
        out += u'$';
      }
    }
  }
};

RegexObject::RegexObject() : impl_(std::make_unique<Impl>()) {}
RegexObject::~RegexObject() = default;

bool RegexObject::Create(std::string_view pattern, std::string_view subject,
                         std::optional<bool> caseSensitive, std::optional<bool> multiline,
                         std::optional<bool> global, std::optional<bool> quoteMarker) {
  Impl& d = *impl_;
  d.Clear();
  if (!d.context) return false;
  const bool ignoreCase = !caseSensitive.value_or(false);
  const bool lineMode = multiline.value_or(true);

  std::string inForce(text::UpToZero(pattern));
  if (quoteMarker.value_or(false)) text::ReplaceInPlace(inForce, QuoteMarker(), "\"");

  std::optional<PcrePattern> translated = TranslateEcmaPattern(text::Cp936ToUtf16(inForce), lineMode);
  if (!translated) return false;

  std::unique_ptr<pcre2_compile_context, CompileContextFree> cc(pcre2_compile_context_create(nullptr));
  if (!cc) return false;
  pcre2_set_newline(cc.get(), kNewline);
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  d.code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated->source.data()),
                             translated->source.size(), kBaseOptions | (ignoreCase ? PCRE2_CASELESS : 0),
                             &error, &errorOffset, cc.get()));
  if (!d.code) return false;
  // Without the JIT (not built for this machine, no executable memory)
  // pcre2_match interprets the pattern, under the same limits.
  pcre2_jit_compile(d.code.get(), PCRE2_JIT_COMPLETE);
  d.matchData.reset(pcre2_match_data_create_from_pattern(d.code.get(), nullptr));
  if (!d.matchData) {
    d.Clear();
    return false;
  }
  uint32_t captures = 0;
  pcre2_pattern_info(d.code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);

  d.groups = static_cast<int>(captures);
  d.ignoreCase = ignoreCase;
  d.global = global.value_or(true);
  d.local.assign(text::UpToZero(subject));
  d.wide = text::Cp936ToUtf16(d.local);
  if (d.wide.size() >= kUnset) {
    d.Clear();
    return false;
  }

  const size_t pairs = static_cast<size_t>(d.groups) + 1;
  bool ok = d.Run([&](const PCRE2_SIZE* ov) {
    for (size_t k = 0; k < 2 * pairs; ++k) {
      d.spans.push_back(ov[k] == PCRE2_UNSET ? kUnset : static_cast<uint32_t>(ov[k]));
    }
    ++d.count;
  });
  if (!ok || d.count == INT_MAX) {
    d.Clear();
    return false;
  }
  d.pattern = std::move(inForce);
  return true;
}

std::string RegexObject::GetPattern() const { return impl_->pattern; }

std::string RegexObject::Replace(std::string_view replacement) {
  Impl& d = *impl_;
  if (!d.code) return {};
  const std::u16string tmpl = text::Cp936ToUtf16(text::UpToZero(replacement));
  std::u16string out;
  size_t copied = 0;
  bool ok = d.Run([&](const PCRE2_SIZE* ov) {
    out.append(d.wide, copied, ov[0] - copied);
    d.Substitute(out, tmpl, ov);
    copied = ov[1];
  });
  if (!ok) return {};
  out.append(d.wide, copied);
  return text::Utf16ToCp936(out);
}

int RegexObject::MatchCount() const { return impl_->count; }

std::string RegexObject::MatchText(int i, int* position) const {
  const Impl& d = *impl_;
  const bool exists = i >= 1 && i <= d.count;
  std::string t = exists ? d.Text(d.Begin(i, 0), d.End(i, 0)) : std::string();
  if (position) *position = d.Position(t, exists ? d.Begin(i, 0) : 0);
  return t;
}

std::string RegexObject::SubmatchText(int i, int k, int* position) const {
  const Impl& d = *impl_;
  const bool matchExists = i >= 1 && i <= d.count;
  std::string t;
  if (matchExists && k >= 1 && k <= d.groups && d.Begin(i, k) != kUnset) t = d.Text(d.Begin(i, k), d.End(i, k));
  if (position) *position = d.Position(t, matchExists ? d.Begin(i, 0) : 0);
  return t;
}

int RegexObject::SubmatchCount() const { return impl_->count > 0 ? impl_->groups : 0; }

int RegexObject::FirstIndex(int i) const {
  const Impl& d = *impl_;
  return i >= 1 && i <= d.count ? static_cast<int>(d.Begin(i, 0)) : -1;
}

void SetRegexTimeBudget(std::chrono::milliseconds budget) { gBudgetMs.store(budget.count()); }
std::chrono::milliseconds RegexTimeBudget() { return std::chrono::milliseconds(gBudgetMs.load()); }

}  // namespace quill::extract
