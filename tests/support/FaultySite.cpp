#include "support/FaultySite.h"

#include <initializer_list>
#include <utility>

namespace quill::testsupport {
namespace {

constexpr int kFirstAddress = 1000;  // chapter n lives at /book/7/<1000 + n>.html
constexpr const char* kBookPath = "/book/7/";

// --- a reproducible random source ------------------------------------------

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Its own generator rather than the standard distributions, whose results
// differ between library versions: a seed must mean the same book everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() { return Mix(state_ += 0x632BE59BD9B4E019ull); }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  const char* Pick(std::initializer_list<const char*> choices) {
    return choices.begin()[Below(static_cast<int>(choices.size()))];
  }

 private:
  std::uint64_t state_;
};

// --- a chapter, piece by piece ---------------------------------------------

// One piece as the GBK page spells it, as the UTF-8 page spells it, and
// what it must be in the chapter file (code page 936, after cleaning).
struct Piece {
  std::string gbk, utf8, expected;

  Piece& operator+=(const Piece& other) {
    gbk += other.gbk;
    utf8 += other.utf8;
    expected += other.expected;
    return *this;
  }
};

Piece operator+(Piece a, const Piece& b) { return a += b; }

// ASCII that nothing changes.
Piece Same(std::string text) { return {text, text, text}; }
// ASCII markup or an entity and what the cleaning makes of it.
Piece Markup(std::string raw, std::string cleaned) { return {raw, raw, std::move(cleaned)}; }
// A character that the cleaning leaves alone: its GBK bytes stay.
Piece Character(std::string gbk, std::string utf8) { return {gbk, std::move(utf8), gbk}; }

// Characters, each with its GBK and UTF-8 bytes. The last five have a
// second byte in the ASCII range ('@', '\\', '|'), which the text scans must
// step over whole.
const std::vector<Piece>& Characters() {
  static const std::vector<Piece> table = {
      Character("\xB7\xE7", "\xE9\xA3\x8E"),  // 风
      Character("\xD1\xA9", "\xE9\x9B\xAA"),  // 雪
      Character("\xD2\xB9", "\xE5\xA4\x9C"),  // 夜
      Character("\xB9\xE9", "\xE5\xBD\x92"),  // 归
      Character("\xC8\xCB", "\xE4\xBA\xBA"),  // 人
      Character("\xC1\xD6", "\xE6\x9E\x97"),  // 林
      Character("\xB3\xE5", "\xE5\x86\xB2"),  // 冲
      Character("\xD0\xA6", "\xE7\xAC\x91"),  // 笑
      Character("\xB5\xC0", "\xE9\x81\x93"),  // 道
      Character("\xC9\xBD", "\xE5\xB1\xB1"),  // 山
      Character("\xC9\xF1", "\xE7\xA5\x9E"),  // 神
      Character("\xC3\xED", "\xE5\xBA\x99"),  // 庙
      Character("\xC0\xEF", "\xE9\x87\x8C"),  // 里
      Character("\xBB\xF0", "\xE7\x81\xAB"),  // 火
      Character("\xB9\xE2", "\xE5\x85\x89"),  // 光
      Character("\xD6\xD0", "\xE4\xB8\xAD"),  // 中
      Character("\xC4\xE3", "\xE4\xBD\xA0"),  // 你
      Character("\xCE\xD2", "\xE6\x88\x91"),  // 我
      Character("\xCB\xFB", "\xE4\xBB\x96"),  // 他
      Character("\xC0\xB4", "\xE6\x9D\xA5"),  // 来
      Character("\xC8\xA5", "\xE5\x8E\xBB"),  // 去
      Character("\xBA\xC3", "\xE5\xA5\xBD"),  // 好
      Character("\x81\x40", "\xE4\xB8\x82"),  // 丂
      Character("\x81\x5C", "\xE4\xB9\x97"),  // 乗
      Character("\x81\x7C", "\xE4\xBA\x85"),  // 亅
      Character("\x82\x5C", "\xE4\xBF\x93"),  // 俓
      Character("\x82\x7C", "\xE5\x80\x88"),  // 倈
  };
  return table;
}

// Punctuation written as characters, not entities: the same bytes the
// entities become.
const std::vector<Piece>& Punctuation() {
  static const std::vector<Piece> table = {
      Character("\xA3\xAC", "\xEF\xBC\x8C"),  // ，
      Character("\xA1\xA3", "\xE3\x80\x82"),  // 。
      Character("\xA1\xB0", "\xE2\x80\x9C"),  // “
      Character("\xA1\xB1", "\xE2\x80\x9D"),  // ”
      Character("\xA1\xAA", "\xE2\x80\x94"),  // —
      Character("\xA1\xAD", "\xE2\x80\xA6"),  // …
      Character("\xA3\xBF", "\xEF\xBC\x9F"),  // ？
  };
  return table;
}

const Piece kFullWidthSpace = Character("\xA1\xA1", "\xE3\x80\x80");

// Text without any '?', '&', '<' or line break, so that pieces placed
// between two runs cannot meet each other.
Piece PlainRun(Random& r) {
  Piece run;
  for (int i = 1 + r.Below(6); i > 0; --i) {
    switch (r.Below(6)) {
      case 0:
        run += Same(r.Pick({"Lin", "Chong", "42", "2024", "ok", "a-b", "x.y", "1,2", "A:B", " "}));
        break;
      case 1:
        run += Punctuation()[r.Below(static_cast<int>(Punctuation().size()))];
        break;
      default:
        run += Characters()[r.Below(static_cast<int>(Characters().size()))];
    }
  }
  return run;
}

// A piece the cleaning or the UTF-8 conversion has to get right.
Piece SpecialPiece(Random& r) {
  switch (r.Below(14)) {
    case 0: return Markup("&nbsp;", " ");
    case 1: return Markup("&ldquo;", "\xA1\xB0");
    case 2: return Markup("&rdquo;", "\xA1\xB1");
    case 3: return Markup("&lsquo;", "\xA1\xAE");
    case 4: return Markup("&rsquo;", "\xA1\xAF");
    case 5: return Markup("&mdash;", "\xA1\xAA");
    case 6: return Markup("&hellip;", "\xA1\xAD");
    case 7: return Markup("&quot;", "\"");
    // Four question marks become four spaces, also when the UTF-8 decoding
    // made them out of broken bytes.
    case 8: return {"????", r.Pick({"????", "\xFF\xFE\x80\xBF", "??\xC0\xAF"}), "    "};
    // Broken UTF-8: one replacement per maximal invalid subsequence, and the
    // replacement is not in code page 936, so it becomes '?'. A truncated
    // sequence counts once; a byte that can never start one counts alone.
    case 9:
      return {"?", r.Pick({"\x80", "\xBF", "\xFE", "\xFF", "\xC3", "\xE4\xB8", "\xF0\x9F\x98", "\xF4\x8F"}),
              "?"};
    case 10: return {"??", r.Pick({"\xC0\xAF", "\xE0\x80", "\xF5\x80", "\xC3\xC3"}), "??"};
    // An encoded surrogate, a code point past U+10FFFF, an overlong form.
    case 11: return {"???", r.Pick({"\xED\xA0\x80", "\xF4\x90\x80", "\xC1\xBF\x80"}), "???"};
    case 12: return kFullWidthSpace;
    default:
      // Upper case, unnamed entities and near misses stay as they are.
      return Same(r.Pick({"&amp;", "&amp;nbsp;", "&NBSP;", "<P>", "</P>", "<BR />", "<br>", "&#8220;",
                          "&lt;br /&gt;", "&apos;", "< p>"}));
  }
}

Piece Words(Random& r) {
  Piece words = PlainRun(r);
  for (int i = r.Below(5); i > 0; --i) words += SpecialPiece(r) + PlainRun(r);
  return words;
}

// One line of chapter text in one of the ways sites mark lines. Each ends
// in a line break and none begins with one, so the collapsing of double line
// breaks (which halves a run, rounding up) acts only inside a line's ending.
Piece Line(Random& r) {
  const Piece words = Words(r);
  const Piece indent = Markup("&nbsp;&nbsp;&nbsp;&nbsp;", "    ");
  switch (r.Below(10)) {
    case 0: return Markup("<p>", "  ") + words + Markup("</p>", "\r\n");
    case 1: return Markup("<p>", "  ") + words + Markup("</p>\r\n", "\r\n");
    case 2: return indent + words + Markup("<br /><br />", "\r\n");
    case 3: return indent + words + Markup("<br />\r\n<br />\r\n", "\r\n\r\n");
    case 4: return words + Markup("<br />", "\r\n");
    case 5: return words + Markup("<br/>", "\r\n");
    case 6: return words + Markup("</br>", "\r\n");
    case 7: return words + Markup("<br /><br /><br />", "\r\n\r\n");
    case 8: return words + Markup("<br />\r\n", "\r\n");
    default: return kFullWidthSpace + kFullWidthSpace + words + Markup("<br /><br />", "\r\n");
  }
}

Piece Title(Random& r, int number) {
  Piece title = Character("\xB5\xDA", "\xE7\xAC\xAC") + Same(std::to_string(number)) +
                Character("\xD5\xC2", "\xE7\xAB\xA0");  // 第 n 章
  switch (r.Below(4)) {
    case 0: title += Markup("&nbsp;", " "); break;
    case 1: title += Same(" "); break;
    case 2: title += kFullWidthSpace; break;
    default: break;
  }
  Piece name;
  for (int i = 2 + r.Below(3); i > 0; --i) name += Characters()[r.Below(static_cast<int>(Characters().size()))];
  if (r.Chance(20)) name = Markup("&quot;", "\"") + name + Markup("&quot;", "\"");
  if (r.Chance(10)) name += Markup("&hellip;", "\xA1\xAD");
  return title + name;
}

std::string Page(bool utf8, const Piece& title, const Piece& body, Random& r) {
  const std::string& book = utf8 ? Characters()[0].utf8 : Characters()[0].gbk;
  const std::string& titleText = utf8 ? title.utf8 : title.gbk;
  std::string declaration = !utf8 ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />"
                            : r.Chance(50)
                                ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
                                : "<meta charset=\"utf-8\" />";
  return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n" + declaration + "\r\n<title>" + titleText + "_" + book +
         "</title>\r\n</head>\r\n<body>\r\n<div class=\"nav\"><a href=\"/\">" + book +
         "</a> &gt; <a href=\"index.html\">" + book + "</a></div>\r\n<h1>" + titleText + "</h1>\r\n" +
         FaultySite::LeftMarker() + (utf8 ? body.utf8 : body.gbk) + FaultySite::RightMarker() +
         "\r\n<div class=\"bottom\"><a href=\"index.html\">" + book + "</a></div>\r\n</body>\r\n</html>\r\n";
}

SiteChapter MakeChapter(std::uint64_t seed, int number) {
  Random r(Mix(seed) ^ Mix(static_cast<std::uint64_t>(number)));
  const Piece title = Title(r, number);
  // A line break right after the opening marker meets the one after the
  // title line: the two make one.
  Piece body = r.Chance(30) ? Markup("\r\n", "") : Piece{};
  for (int i = 5 + r.Below(16); i > 0; --i) body += Line(r);

  SiteChapter chapter;
  chapter.title = title.gbk;
  chapter.address = std::to_string(kFirstAddress + number) + ".html";
  chapter.expected = title.expected + "\r\n" + body.expected;
  chapter.gbkPage = Page(false, title, body, r);
  chapter.utf8Page = Page(true, title, body, r);
  return chapter;
}

// --- answers -----------------------------------------------------------------

struct Weighted {
  SiteAnswer answer;
  int perMille;
};

// 37% of requests fail: over its three attempts a chapter fails a run about
// one time in twenty, and the odds that five runs leave any of a thousand
// chapters behind are about one in three thousand.
constexpr Weighted kWeights[] = {
    {SiteAnswer::kNormal, 400},          {SiteAnswer::kSlow, 60},
    {SiteAnswer::kTrickle, 40},          {SiteAnswer::kInvalidUtf8, 100},
    {SiteAnswer::kError500WithPage, 30}, {SiteAnswer::kError500Empty, 50},
    {SiteAnswer::kEmptyBody, 70},        {SiteAnswer::kResetAtOnce, 50},
    {SiteAnswer::kResetMidBody, 50},     {SiteAnswer::kCutShort, 50},
    {SiteAnswer::kSilence, 50},          {SiteAnswer::kStallMidBody, 50},
};

SiteAnswer AnswerFor(std::uint64_t draw) {
  int at = static_cast<int>(draw % 1000);
  for (const Weighted& w : kWeights) {
    if (at < w.perMille) return w.answer;
    at -= w.perMille;
  }
  return SiteAnswer::kNormal;
}

// Faults that a client cannot retry on its own (an answer did arrive), so
// that each one costs a chapter exactly one attempt.
constexpr SiteAnswer kStubborn[] = {SiteAnswer::kEmptyBody, SiteAnswer::kError500Empty, SiteAnswer::kCutShort};

}  // namespace

int StubbornRequests(int chapter) { return chapter % 100 == 0 ? 6 : chapter % 50 == 0 ? 3 : 0; }

const char* AnswerName(SiteAnswer answer) {
  switch (answer) {
    case SiteAnswer::kNormal: return "normal";
    case SiteAnswer::kSlow: return "slow";
    case SiteAnswer::kTrickle: return "trickle";
    case SiteAnswer::kInvalidUtf8: return "invalid UTF-8";
    case SiteAnswer::kError500WithPage: return "500 with page";
    case SiteAnswer::kError500Empty: return "500 empty";
    case SiteAnswer::kEmptyBody: return "empty body";
    case SiteAnswer::kResetAtOnce: return "reset at once";
    case SiteAnswer::kResetMidBody: return "reset mid-body";
    case SiteAnswer::kCutShort: return "closed mid-body";
    case SiteAnswer::kSilence: return "silence";
    case SiteAnswer::kStallMidBody: return "stall mid-body";
    case SiteAnswer::kCount: break;
  }
  return "?";
}

bool GivesThePage(SiteAnswer answer) {
  switch (answer) {
    case SiteAnswer::kNormal:
    case SiteAnswer::kSlow:
    case SiteAnswer::kTrickle:
    case SiteAnswer::kInvalidUtf8:
    case SiteAnswer::kError500WithPage:
      return true;
    default:
      return false;
  }
}

FaultySite::FaultySite(FaultySiteOptions options) : options_(options) {
  chapters_.reserve(static_cast<size_t>(options_.chapters));
  for (int n = 1; n <= options_.chapters; ++n) chapters_.push_back(MakeChapter(options_.seed, n));
  served_.resize(chapters_.size());
  server_.SetHandler([this](const RecordedRequest& request) { return Answer(request); });
}

std::string FaultySite::BookTitle() { return "\x81\x5C\xB7\xE7\xB9\xE9\xC8\xA5"; }  // 乗风归去
std::string FaultySite::BookAuthor() { return "\xC1\xD6\xB3\xE5"; }                  // 林冲
std::string FaultySite::BookDirectoryName() { return "\xE4\xB9\x97\xE9\xA3\x8E\xE5\xBD\x92\xE5\x8E\xBB"; }
std::string FaultySite::BookFileName() {
  return BookDirectoryName() + "(\xE6\x9E\x97\xE5\x86\xB2).txt";
}
std::string FaultySite::LeftMarker() { return "<div id=\"content\" class=\"content\">"; }
std::string FaultySite::RightMarker() { return "</div>"; }

std::string FaultySite::IndexAddress() const { return server_.Url(std::string(kBookPath) + "index.html"); }

FaultySite::Served FaultySite::ServedFor(int chapter) const {
  std::lock_guard guard(lock_);
  return chapter >= 1 && chapter <= static_cast<int>(served_.size()) ? served_[chapter - 1] : Served{};
}

std::array<int, static_cast<int>(SiteAnswer::kCount)> FaultySite::AnswerCounts() const {
  std::lock_guard guard(lock_);
  return counts_;
}

int FaultySite::Requests() const {
  std::lock_guard guard(lock_);
  return requests_;
}

std::vector<std::string> FaultySite::Strays() const {
  std::lock_guard guard(lock_);
  return strays_;
}

ScriptedResponse FaultySite::Answer(const RecordedRequest& request) {
  const std::string path = request.Path();
  const std::string prefix = kBookPath;
  int chapter = 0;
  if (path.size() > prefix.size() + 5 && path.compare(0, prefix.size(), prefix) == 0 &&
      path.compare(path.size() - 5, 5, ".html") == 0) {
    const std::string digits = path.substr(prefix.size(), path.size() - prefix.size() - 5);
    if (!digits.empty() && digits.size() < 9 && digits.find_first_not_of("0123456789") == std::string::npos)
      chapter = std::stoi(digits) - kFirstAddress;
  }
  std::uint64_t draw = 0;
  SiteAnswer answer = SiteAnswer::kNormal;
  {
    std::lock_guard guard(lock_);
    ++requests_;
    if (chapter < 1 || chapter > static_cast<int>(chapters_.size())) {
      strays_.push_back(request.method + " " + request.target);
      ScriptedResponse missing;
      missing.status = 404;
      missing.body = "not found";
      return missing;
    }
    Served& served = served_[static_cast<size_t>(chapter - 1)];
    ++served.requests;
    draw = Mix(Mix(options_.seed) ^ Mix((static_cast<std::uint64_t>(chapter) << 20) |
                                        static_cast<std::uint64_t>(served.requests)));
    answer = served.requests <= StubbornRequests(chapter) ? kStubborn[served.requests % 3] : AnswerFor(draw);
    served.last = answer;
    ++counts_[static_cast<int>(answer)];
  }
  return Response(answer, chapters_[static_cast<size_t>(chapter - 1)], Mix(draw));
}

ScriptedResponse FaultySite::Response(SiteAnswer answer, const SiteChapter& chapter, std::uint64_t draw) const {
  using Fault = ScriptedResponse::Fault;
  const long stall = static_cast<long>(options_.stallLimit.count());
  ScriptedResponse r = ScriptedResponse::Ok(chapter.gbkPage, "gbk");
  const size_t cut = static_cast<size_t>(draw % chapter.gbkPage.size());  // strictly inside the page
  switch (answer) {
    case SiteAnswer::kNormal:
      break;
    case SiteAnswer::kSlow:
    {
      // Between a twentieth and a fifth of the limit before the first byte.
      const auto spread = static_cast<std::uint64_t>(stall / 5 - stall / 20 + 1);
      r.latency = std::chrono::milliseconds(stall / 20 + static_cast<long>(draw % spread));
      break;
    }
    case SiteAnswer::kTrickle:
      // Ten pieces an eighth of the limit apart: each gap well inside it, the
      // whole page well past it.
      r.pieceBytes = chapter.gbkPage.size() / 10 + 1;
      r.pieceGap = std::chrono::milliseconds(stall / 8);
      break;
    case SiteAnswer::kInvalidUtf8:
      r = ScriptedResponse::Ok(chapter.utf8Page, "utf-8");
      break;
    case SiteAnswer::kError500WithPage:
      r.status = 500;
      break;
    case SiteAnswer::kError500Empty:
      r.status = 500;
      r.body.clear();
      break;
    case SiteAnswer::kEmptyBody:
      r.body.clear();
      break;
    case SiteAnswer::kResetAtOnce:
      r.fault = Fault::ResetAtOnce;
      break;
    case SiteAnswer::kResetMidBody:
      r.fault = Fault::ResetMidBody;
      r.faultAfter = cut;
      break;
    case SiteAnswer::kCutShort:
      r.fault = Fault::CloseMidBody;
      r.faultAfter = cut;
      break;
    case SiteAnswer::kSilence:
      r.fault = Fault::Silence;
      break;
    case SiteAnswer::kStallMidBody:
      r.fault = Fault::StallMidBody;
      r.faultAfter = cut;
      break;
    case SiteAnswer::kCount:
      break;
  }
  return r;
}

}  // namespace quill::testsupport
