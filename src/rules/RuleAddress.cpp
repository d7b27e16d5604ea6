#include "rules/RuleAddress.h"

#include <string>

#include "rules/ValueCoding.h"
#include "text/Codec.h"

namespace quill::rules {

const Element* RulesRoot(const RuleDocument& doc) {
  static const std::string kRootName = text::Cp936("小说站点");
  return doc.root.name == kRootName ? &doc.root : nullptr;
}

Element* RulesRoot(RuleDocument& doc) {
  return const_cast<Element*>(RulesRoot(static_cast<const RuleDocument&>(doc)));
}

Element* RuleAt(RuleDocument& doc, int position) {
  Element* root = RulesRoot(doc);
  if (!root || position < 1 || static_cast<size_t>(position) > root->children.size()) return nullptr;
  return &root->children[static_cast<size_t>(position) - 1];
}

const Element* RuleNamed(const RuleDocument& doc, std::string_view name) {
  const Element* root = RulesRoot(doc);
  if (!root) return nullptr;
  for (const Element& rule : root->children)
    if (DecodeValue(rule.name) == name) return &rule;
  return nullptr;
}

}  // namespace quill::rules
