#include "rules/RuleFields.h"

#include <array>

#include "rules/ValueCoding.h"
#include "text/Codec.h"

namespace quill::rules {
namespace {

// In the order a new rule receives them.
constexpr std::array<RuleField, 5> kAttributeFields{
    RuleField::chapterListPattern, RuleField::titlePattern, RuleField::authorPattern,
    RuleField::contentLeft, RuleField::contentRight};

const Attribute* FirstAttribute(const Element& e, std::string_view name) {
  for (const Attribute& a : e.attributes)
    if (a.name == name) return &a;
  return nullptr;
}

template <typename Rule>
auto& FieldOf(Rule& rule, RuleField field) {
  switch (field) {
    case RuleField::siteAddress: return rule.siteAddress;
    case RuleField::chapterListPattern: return rule.chapterListPattern;
    case RuleField::titlePattern: return rule.titlePattern;
    case RuleField::authorPattern: return rule.authorPattern;
    case RuleField::contentLeft: return rule.contentLeft;
    case RuleField::contentRight: return rule.contentRight;
  }
  return rule.siteAddress;
}

}  // namespace

const std::string& AttributeName(RuleField field) {
  static const std::array<std::string, 6> names{
      std::string(),
      text::Cp936("章节列表正则表达式"),
      text::Cp936("小说名正则表达式"),
      text::Cp936("作者正则表达式"),
      text::Cp936("章节内容左侧"),
      text::Cp936("章节内容右侧"),
  };
  return names.at(static_cast<size_t>(field));
}

SiteRule ReadRule(const Element& rule) {
  SiteRule out;
  out.name = DecodeValue(rule.name);
  out.siteAddress = DecodeText(rule.text);
  for (RuleField field : kAttributeFields)
    if (const Attribute* a = FirstAttribute(rule, AttributeName(field)))
      FieldOf(out, field) = DecodeValue(a->value);
  return out;
}

void SetField(Element& rule, RuleField field, std::string_view value) {
  if (field == RuleField::siteAddress) {
    rule.text = EncodeValue(value);
    return;
  }
  const std::string& name = AttributeName(field);
  for (Attribute& a : rule.attributes)
    if (a.name == name) a.value = EncodeValue(value);
}

Element NewRuleElement(const SiteRule& rule) {
  Element e;
  e.name = EncodeValue(rule.name);
  e.text = EncodeValue(rule.siteAddress);
  for (RuleField field : kAttributeFields)
    e.attributes.push_back({AttributeName(field), EncodeValue(FieldOf(rule, field))});
  return e;
}

}  // namespace quill::rules
