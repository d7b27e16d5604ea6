#pragma once
// The only reader and writer of the rule file. It keeps nothing in memory:
// every operation reads and parses the whole file afresh, makes at most one
// change, writes the whole document back when it tried to change something,
// and discards the document. A file that does not parse is never written.
#include <filesystem>
#include <string>
#include <vector>

namespace quill::rules {

using Text = std::string;  // code-page-936 bytes

struct SiteRule {
  Text name;
  Text siteAddress;
  Text chapterListPattern;
  Text titlePattern;
  Text authorPattern;
  Text contentLeft;
  Text contentRight;
  bool operator==(const SiteRule&) const = default;
};

enum class RuleField { siteAddress, chapterListPattern, titlePattern, authorPattern, contentLeft, contentRight };

class RuleStore {
 public:
  // `file` is the rule file's path, normally "下载配置.xml" in the working directory.
  explicit RuleStore(std::filesystem::path file);

  // Creates the file with the two default rules when no file of that name exists.
  void EnsureFile();
  std::vector<Text> ListNames();
  // The first rule of that name (name compared byte for byte); empty fields when none.
  // The result carries the rule's name besides its six fields.
  SiteRule ReadByName(const Text& name);
  // The rule at a 1-based position; empty fields when none.
  SiteRule ReadAt(int position);
  // Sets the text, or every existing attribute of the field's name; creates none.
  void WriteField(int position, RuleField field, const Text& value);
  // A name the file could not read back (empty, holding a space, or starting
  // with '!', '?' or '/') is refused: the rule keeps its name.
  void Rename(int position, const Text& newName);
  // Adds the rule after the last one; refused for the names Rename refuses.
  void Append(const SiteRule& rule);
  // True only when a rule was at that position and the file without it was saved.
  bool Remove(int position);

  // The bytes EnsureFile writes.
  static std::string DefaultFileBytes();

 private:
  std::filesystem::path file_;
};

// The rule file's name in the working directory, as code-page-936 bytes
// turned into a path the file system accepts.
std::filesystem::path DefaultRuleFilePath();

}  // namespace quill::rules
