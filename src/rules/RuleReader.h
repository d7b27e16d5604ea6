#pragma once
// Reads the rule file's bytes into a document. Any byte sequence yields a
// document or none; nothing is converted, validated or decoded.
#include <optional>
#include <string_view>

#include "rules/RuleDocument.h"

namespace quill::rules {

// None for an empty file, an unclosed or mismatched element, text or a second
// element outside the root, an unclosed comment, CDATA section or "<?"/"<!"
// construct, a malformed start tag, or more than kMaxElementDepth levels of nesting.
std::optional<RuleDocument> ReadRuleDocument(std::string_view bytes);

}  // namespace quill::rules
