// RegexObject with random patterns over random subjects, each run held to a
// short time budget. Whatever the pattern: a failed Create leaves nothing
// behind from an earlier one; matches are the subject's own text at their
// index, in order and apart; every position handed out points at that text,
// whatever order it is asked for in; queries beyond the matches and groups
// are empty; replacing every match leaves exactly the rest of the subject
// and what the replacement names. On a subject whose bytes are all
// well-formed characters the positions are found, and never after the
// match.
//
// Input: a byte of option flags, the pattern, a zero byte, the subject;
// control bytes stand for the words below.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "extract/RegexObject.h"
#include "text/Codec.h"
#include "text/Text.h"

namespace {

using namespace quill;
using fuzz::Check;

constexpr int kMatchesChecked = 64;
constexpr int kGroupsChecked = 12;

const std::string& QuoteMarker() {
  static const std::string marker = text::Cp936("#引号");
  return marker;
}

const fuzz::Words& PatternWords() {
  static const fuzz::Words words{
      QuoteMarker(), "(.*?)", "\\?", "[^<]*", "(?:", "(?=", "(?!", "\\b",
      "\\d+", "\\1", "{2,}", "<li><a href=\"/", "\">", "</a></li>", text::Cp936("第"), text::Cp936("章"),
      "^", "$", "[\\s\\S]", "\\u00e9", "\\x41", "(a|ab)*c", "\\w", "[a-z]", "|", ")*"};
  return words;
}

const fuzz::Words& SubjectWords() {
  static const fuzz::Words words{
      "<li><a href=\"/1.html\">", "</a></li>", text::Cp936("第一章"), "\x81", "\xA1\xA1", "\xAA\xA1", "\x80", "\xFF",
      "\r\n", "aaaaaaaaaaaaaaaa", "ABC", "\"", QuoteMarker(), "\xA8\xA6", "1234", "\xD6\xD0"};
  return words;
}

std::optional<bool> Flag(uint8_t flags, int shift) {
  if (!(flags >> shift & 1)) return std::nullopt;
  return static_cast<bool>(flags >> (shift + 1) & 1);
}

// Decoding and text stepping agree on every character, and the text comes
// back from UTF-16 unchanged: each UTF-16 unit is then one character.
bool IsWellFormed(std::string_view local) {
  for (size_t i = 0; i < local.size();) {
    const auto b = static_cast<unsigned char>(local[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b == 0x80 || b == 0xFF || i + 1 >= local.size()) return false;
    const auto t = static_cast<unsigned char>(local[i + 1]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    i += 2;
  }
  return text::Utf16ToCp936(text::Cp936ToUtf16(local)) == local;
}

// Byte offset of a unit index in a well-formed text.
size_t ByteOffset(std::string_view local, size_t units) {
  size_t at = 0;
  for (size_t u = 0; u < units && at < local.size(); ++u) at += static_cast<size_t>(text::CharLength(static_cast<unsigned char>(local[at])));
  return at;
}

void CheckPosition(std::string_view local, std::string_view found, int position, bool ignoreCase) {
  if (position == -2) return;
  Check(position >= 0 && static_cast<size_t>(position) + found.size() <= local.size());
  Check(text::Find(local, found, position + 1, ignoreCase) == position + 1);
}

void CheckEmpty(const extract::RegexObject& r) {
  Check(r.MatchCount() == 0 && r.SubmatchCount() == 0 && r.GetPattern().empty());
  Check(r.MatchText(1).empty() && r.SubmatchText(1, 1).empty() && r.FirstIndex(1) == -1);
}

void CheckMatches(extract::RegexObject& r, std::string_view local, bool ignoreCase, bool global) {
  const std::u16string wide = text::Cp936ToUtf16(local);
  const bool wellFormed = IsWellFormed(local);
  const int count = r.MatchCount();
  const int groups = r.SubmatchCount();
  Check(count >= 0 && groups >= 0);
  if (count == 0) Check(groups == 0);
  if (!global) Check(count <= 1);

  size_t removed = 0;
  size_t firstGroups = 0;  // units of every match's first capture
  std::vector<std::pair<int, int>> positions;  // match, position
  size_t end = 0;
  for (int i = 1; i <= count; ++i) {
    const int index = r.FirstIndex(i);
    Check(index >= 0 && static_cast<size_t>(index) >= end);
    if (i > 1 && end == static_cast<size_t>(r.FirstIndex(i - 1))) Check(static_cast<size_t>(index) > end);
    const bool detailed = i <= kMatchesChecked || i == count;
    const std::string match = detailed ? r.MatchText(i) : std::string();
    const std::u16string units = text::Cp936ToUtf16(detailed ? match : r.MatchText(i));
    Check(wide.compare(static_cast<size_t>(index), units.size(), units) == 0);
    end = static_cast<size_t>(index) + units.size();
    removed += units.size();
    if (groups >= 1) firstGroups += text::Cp936ToUtf16(r.SubmatchText(i, 1)).size();
    if (!detailed) continue;

    int position = -3;
    Check(r.MatchText(i, &position) == match);
    positions.emplace_back(i, position);
    CheckPosition(local, match, position, ignoreCase);
    if (wellFormed) {
      const size_t at = ByteOffset(local, static_cast<size_t>(index));
      Check(local.substr(at, match.size()) == match);
      Check(position >= 0 && static_cast<size_t>(position) <= at);
    }
    for (int k = 1; k <= std::min(groups, kGroupsChecked); ++k) {
      int subPosition = -3;
      const std::string capture = r.SubmatchText(i, k, &subPosition);
      Check(r.SubmatchText(i, k) == capture);
      Check(wide.find(text::Cp936ToUtf16(capture), static_cast<size_t>(index)) != std::u16string::npos);
      CheckPosition(local, capture, subPosition, ignoreCase);
      if (wellFormed) Check(subPosition >= 0);
    }
    Check(r.SubmatchText(i, 0).empty() && r.SubmatchText(i, groups + 1).empty());
  }
  Check(end <= wide.size());
  // Positions do not depend on the order they are asked for in.
  for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
    int position = -3;
    r.MatchText(it->first, &position);
    Check(position == it->second);
  }

  // Empty only when the run gave up; "#" keeps a finished result from being empty.
  const std::string replaced = r.Replace("#");
  if (!replaced.empty())
    Check(text::Cp936ToUtf16(replaced).size() == wide.size() - removed + static_cast<size_t>(count));
  const std::string dollar = r.Replace("$$");
  if (!dollar.empty()) Check(text::Cp936ToUtf16(dollar).size() == wide.size() - removed + static_cast<size_t>(count));
  const std::string zero = r.Replace("$0");
  if (!zero.empty()) Check(text::Cp936ToUtf16(zero).size() == wide.size() - removed + 2 * static_cast<size_t>(count));
  if (groups >= 1) {
    const std::string first = r.Replace("#$1");
    if (!first.empty())
      Check(text::Cp936ToUtf16(first).size() == wide.size() - removed + static_cast<size_t>(count) + firstGroups);
  }
  const std::string same = r.Replace("$&");
  if (!same.empty() || wide.empty()) Check(same == text::Utf16ToCp936(wide));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool budgetSet = [] {
    extract::SetRegexTimeBudget(std::chrono::milliseconds(20));
    return true;
  }();
  (void)budgetSet;
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const auto parts = fuzz::Parts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 2);
  const std::string pattern = PatternWords().Expand(parts[0]);
  const std::string subject = SubjectWords().Expand(parts[1]);
  const std::optional<bool> caseSensitive = Flag(flags, 0);
  const std::optional<bool> multiline = Flag(flags, 2);
  const std::optional<bool> global = Flag(flags, 4);
  const std::optional<bool> quoteMarker = Flag(flags, 6);

  extract::RegexObject r;
  // Something from an earlier run that a failed one must not leave behind.
  Check(r.Create("(a)|b", "ab"));
  Check(r.MatchCount() == 2);
  if (!r.Create(pattern, subject, caseSensitive, multiline, global, quoteMarker)) {
    CheckEmpty(r);
    Check(r.Replace("x").empty());
    return 0;
  }
  std::string inForce(text::UpToZero(pattern));
  if (quoteMarker.value_or(false)) text::ReplaceInPlace(inForce, QuoteMarker(), "\"");
  Check(r.GetPattern() == inForce);
  CheckMatches(r, text::UpToZero(subject), !caseSensitive.value_or(false), global.value_or(true));
  return 0;
}
