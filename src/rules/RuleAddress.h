#pragma once
// Finding a rule in a document. The rules are the children of a root named
// 小说站点; under any other root there are none.
#include <string_view>

#include "rules/RuleDocument.h"

namespace quill::rules {

// The root when it is named 小说站点, else nullptr.
Element* RulesRoot(RuleDocument& doc);
const Element* RulesRoot(const RuleDocument& doc);

// The rule at a position counted from 1 in document order, or nullptr.
Element* RuleAt(RuleDocument& doc, int position);

// The first rule whose name, decoded, equals `name` byte for byte. Names are
// compared as they are, so one holding "/" or starting "@1" is no address.
const Element* RuleNamed(const RuleDocument& doc, std::string_view name);

}  // namespace quill::rules
