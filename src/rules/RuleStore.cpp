#include "rules/RuleStore.h"

#include <optional>

#include "rules/FileAccess.h"
#include "rules/RuleAddress.h"
#include "rules/RuleFields.h"
#include "rules/RuleReader.h"
#include "rules/RuleWriter.h"
#include "rules/ValueCoding.h"

namespace quill::rules {
namespace {

// None when the file is missing, unreadable or does not parse.
std::optional<RuleDocument> Load(const std::filesystem::path& file) {
  std::optional<std::string> bytes = ReadWholeFile(file);
  if (!bytes) return std::nullopt;
  return ReadRuleDocument(*bytes);
}

// Saves whenever the file parsed, also when the change found no target, so
// the file always comes back in the written layout. True when it saved; a
// failed save leaves the old file there, whole.
template <typename Change>
bool LoadChangeSave(const std::filesystem::path& file, Change change) {
  std::optional<RuleDocument> doc = Load(file);
  if (!doc) return false;
  change(*doc);
  return ReplaceFile(file, WriteRuleDocument(*doc));
}

}  // namespace

RuleStore::RuleStore(std::filesystem::path file) : file_(std::move(file)) {}

void RuleStore::EnsureFile() { CreateFile(file_, DefaultFileBytes()); }

std::vector<Text> RuleStore::ListNames() {
  std::vector<Text> names;
  std::optional<RuleDocument> doc = Load(file_);
  if (!doc) return names;
  if (const Element* root = RulesRoot(*doc))
    for (const Element& rule : root->children) names.push_back(DecodeValue(rule.name));
  return names;
}

SiteRule RuleStore::ReadByName(const Text& name) {
  std::optional<RuleDocument> doc = Load(file_);
  if (!doc) return {};
  const Element* rule = RuleNamed(*doc, name);
  return rule ? ReadRule(*rule) : SiteRule{};
}

SiteRule RuleStore::ReadAt(int position) {
  std::optional<RuleDocument> doc = Load(file_);
  if (!doc) return {};
  const Element* rule = RuleAt(*doc, position);
  return rule ? ReadRule(*rule) : SiteRule{};
}

void RuleStore::WriteField(int position, RuleField field, const Text& value) {
  LoadChangeSave(file_, [&](RuleDocument& doc) {
    if (Element* rule = RuleAt(doc, position)) SetField(*rule, field, value);
  });
}

void RuleStore::Rename(int position, const Text& newName) {
  LoadChangeSave(file_, [&](RuleDocument& doc) {
    Element* rule = RuleAt(doc, position);
    if (rule && IsStorableName(newName)) rule->name = EncodeValue(newName);
  });
}

void RuleStore::Append(const SiteRule& rule) {
  LoadChangeSave(file_, [&](RuleDocument& doc) {
    Element* root = RulesRoot(doc);
    if (root && IsStorableName(rule.name)) root->children.push_back(NewRuleElement(rule));
  });
}

// True only when the rule is gone from the file, so the list never drops an
// entry whose rule a failed save kept.
bool RuleStore::Remove(int position) {
  bool removed = false;
  bool saved = LoadChangeSave(file_, [&](RuleDocument& doc) {
    if (!RuleAt(doc, position)) return;
    auto& rules = RulesRoot(doc)->children;
    rules.erase(rules.begin() + (position - 1));
    removed = true;
  });
  return removed && saved;
}

}  // namespace quill::rules
