#pragma once
// One site-rule pattern run over one page. Texts in and out are code-page-936
// bytes; the matching itself is done on UTF-16 by PCRE2, in the ECMAScript
// dialect the rule files are written for (see EcmaPattern.h), so match
// indexes count UTF-16 code units.
//
// Matches and captures are numbered from 1. A failed Create (a pattern the
// dialect rejects, a run that exceeds the work limits, anything else) leaves
// the object answering MatchCount with 0 and every text query with the empty
// text. An object belongs to one thread at a time.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quill::extract {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Runs `pattern` over `subject`. Defaults: case ignored, multiline on,
  // global on, quote marker off; with the quote marker on, every "#引号" in
  // the pattern becomes a double quote first. True when the pattern ran,
  // also when it found nothing.
  bool Create(std::string_view pattern, std::string_view subject,
              std::optional<bool> caseSensitive = {}, std::optional<bool> multiline = {},
              std::optional<bool> global = {}, std::optional<bool> quoteMarker = {});

  // The pattern in force, after the quote-marker replacement.
  std::string GetPattern() const;
  // The subject with the matches (all with global on, else the first)
  // replaced; "$1".."$99", "$&", "$`", "$'" and "$$" as in ECMAScript.
  std::string Replace(std::string_view replacement);

  int MatchCount() const;
  // Text of match i. With `position`: the 0-based byte offset found by
  // searching the subject for that text from the match's UTF-16 index taken
  // as a 1-based byte position (moved on to the next character when it falls
  // on a second byte), ASCII case ignored when the pattern ignores case. An
  // equal text just before the match may be found instead; -2 when the text
  // is not found at all.
  std::string MatchText(int i, int* position = nullptr) const;
  // Text of capture k of match i, empty when the capture took no part; the
  // position search starts from the match's index as above.
  std::string SubmatchText(int i, int k, int* position = nullptr) const;
  // The pattern's number of groups; 0 when nothing matched.
  int SubmatchCount() const;

  // 0-based index of match i in UTF-16 code units; -1 when there is none.
  int FirstIndex(int i) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A whole run (Create or Replace) that takes longer than this is given up
// and fails; each start position is bounded by PCRE2's own limits, this
// bounds their sum. Process-wide; 10 s unless changed.
void SetRegexTimeBudget(std::chrono::milliseconds budget);
std::chrono::milliseconds RegexTimeBudget();

}  // namespace quill::extract
