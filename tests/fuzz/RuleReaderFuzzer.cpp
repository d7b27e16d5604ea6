// The rule file reader over arbitrary bytes. Whatever parses must survive
// the writer unchanged: written and read again it is the same document and
// writes the same bytes, so a save never turns a readable file into an
// unreadable or different one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rules/RuleFields.h"
#include "rules/RuleReader.h"
#include "rules/RuleWriter.h"
#include "rules/ValueCoding.h"

namespace {

using namespace quill::rules;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string_view TrimBlank(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A rule read from the file and appended again as a new rule reads back the
// same, the site address trimmed as the reader trims every text.
void CheckRuleRoundTrip(RuleDocument doc, const Element& rule) {
  SiteRule read = ReadRule(rule);
  Check(IsStorableName(read.name));
  Check(DecodeValue(EncodeValue(read.contentLeft)) == read.contentLeft);
  doc.root.children.push_back(NewRuleElement(read));
  std::optional<RuleDocument> again = ReadRuleDocument(WriteRuleDocument(doc));
  Check(again.has_value() && !again->root.children.empty());
  SiteRule back = ReadRule(again->root.children.back());
  read.siteAddress = std::string(TrimBlank(read.siteAddress));
  Check(back == read);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::optional<RuleDocument> doc = ReadRuleDocument(bytes);
  if (!doc) return 0;
  const std::string written = WriteRuleDocument(*doc);
  std::optional<RuleDocument> again = ReadRuleDocument(written);
  Check(again.has_value() && *again == *doc);
  Check(WriteRuleDocument(*again) == written);
  // A few rules are enough; every one would make a big input quadratic.
  size_t checked = 0;
  for (const Element& rule : doc->root.children) {
    if (++checked > 4) break;
    CheckRuleRoundTrip(*doc, rule);
  }
  return 0;
}
