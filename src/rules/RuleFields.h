#pragma once
// How a SiteRule lies in its element: the name is the element's name, the
// site address its text, the other five fields attributes with fixed names.
#include <string>
#include <string_view>

#include "rules/RuleDocument.h"
#include "rules/RuleStore.h"

namespace quill::rules {

// The code-page-936 name of the attribute that holds `field`; empty for
// siteAddress, which is the element's text.
const std::string& AttributeName(RuleField field);

// The six stored fields and the name, decoded; what is missing reads empty.
SiteRule ReadRule(const Element& rule);

// Stores `value` encoded as the text, or in every attribute of the field's
// name; an attribute the element lacks is not created.
void SetField(Element& rule, RuleField field, std::string_view value);

// A new rule element: encoded name, site address as text, then the five
// attributes in their fixed order.
Element NewRuleElement(const SiteRule& rule);

}  // namespace quill::rules
