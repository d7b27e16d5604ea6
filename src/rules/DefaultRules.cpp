#include "rules/DefaultRules.h"

#include "rules/RuleFields.h"
#include "rules/RuleStore.h"
#include "rules/RuleWriter.h"
#include "text/Codec.h"

namespace quill::rules {
namespace {

// Values as they stand in the file, that is already encoded.
struct StoredRule {
  const char* name;
  const char* address;
  const char* chapterList;
  const char* title;
  const char* author;
  const char* left;
  const char* right;
};

constexpr StoredRule kDefaults[] = {
    {"Vellowick", "http://www.vellowick.example/",
     "&lt;li class=&quot;chapter&quot;&gt;&lt;a href=&quot;(.*?)&quot; title=&quot;.*?&quot;&gt;(.*?)&lt;/a&gt;"
     "&lt;/li&gt;",
     "&lt;meta property=&quot;og:novel:book_name&quot; content=&quot;(.*?)&quot;/&gt;",
     "&lt;meta property=&quot;og:novel:author&quot; content=&quot;(.*?)&quot;/&gt;",
     "&lt;div id=&quot;content&quot; class=&quot;content&quot;&gt;", "&lt;/div&gt;"},
    {"Marrowdene", "http://www.marrowdene.example/",
     "&lt;li&gt;&lt;a href=&quot;/(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;", "var b_tit=&apos;(.*?)&apos;,b_id",
     "作者：&lt;span&gt;&lt;a href=&quot;/search.php\\?q=(.*?)&quot; target=_blank&gt;",
     "&lt;div class=&quot;chapter_content&quot; id=&quot;chapter_content&quot; style=&quot;font-size: "
     "24px;&quot;&gt;",
     "&lt;/div&gt;"},
};

Element StoredRuleElement(const StoredRule& r) {
  Element e;
  e.name = r.name;
  e.text = r.address;
  const std::pair<RuleField, const char*> attributes[] = {
      {RuleField::chapterListPattern, r.chapterList},
      {RuleField::titlePattern, r.title},
      {RuleField::authorPattern, r.author},
      {RuleField::contentLeft, r.left},
      {RuleField::contentRight, r.right},
  };
  for (const auto& [field, value] : attributes) e.attributes.push_back({AttributeName(field), text::Cp936(value)});
  return e;
}

}  // namespace

RuleDocument DefaultRuleDocument() {
  RuleDocument doc;
  doc.root.name = text::Cp936("小说站点");
  for (const StoredRule& r : kDefaults) doc.root.children.push_back(StoredRuleElement(r));
  return doc;
}

std::string RuleStore::DefaultFileBytes() { return WriteRuleDocument(DefaultRuleDocument()); }

std::filesystem::path DefaultRuleFilePath() { return std::filesystem::path(u8"下载配置.xml"); }

}  // namespace quill::rules
