#pragma once
// The rule file's layout: the declaration, then every element on a line of
// its own after CR LF and one tab per level of depth, empty elements
// self-closing, and no line break at the end.
#include <string>

#include "rules/RuleDocument.h"

namespace quill::rules {

std::string WriteRuleDocument(const RuleDocument& doc);

}  // namespace quill::rules
