#pragma once
// The document a new rule file starts with: two rules for two sites.
#include "rules/RuleDocument.h"

namespace quill::rules {

RuleDocument DefaultRuleDocument();

}  // namespace quill::rules
