#include "rules/RuleReader.h"

#include <string>
#include <vector>

namespace quill::rules {
namespace {

constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCommentClose = "-->";
constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";
constexpr size_t npos = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlank(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Comments go before anything else is looked at. A comment cut out can join
// what stood around it into a new "<!--" ("<!<!--x-->--"); that one goes
// too, so the result holds no comment opener at all and a value read from it
// can never turn into a comment once written back. False when a comment is
// not closed.
bool RemoveComments(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    out += in[i++];
    if (out.size() >= kCommentOpen.size() &&
        std::string_view(out).substr(out.size() - kCommentOpen.size()) == kCommentOpen) {
      out.resize(out.size() - kCommentOpen.size());
      size_t close = in.find(kCommentClose, i);
      if (close == npos) return false;
      i = close + kCommentClose.size();
    }
  }
  return true;
}

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  std::optional<RuleDocument> Read() {
    RuleDocument doc;
    if (!SkipOutside() || !At("<") || At("</")) return std::nullopt;
    bool closed = false;
    if (!ReadStartTag(doc.root, closed)) return std::nullopt;
    if (!closed && !ReadContent(doc.root)) return std::nullopt;
    if (!SkipOutside() || pos_ != s_.size()) return std::nullopt;
    return doc;
  }

 private:
  bool At(std::string_view what) const { return s_.substr(pos_, what.size()) == what; }

  // Moves past `close`, searched from `from`; false when there is none.
  bool SkipPast(size_t from, std::string_view close) {
    size_t at = s_.find(close, from);
    if (at == npos) return false;
    pos_ = at + close.size();
    return true;
  }

  // A "<?...?>" or "<!...>" construct at the current position, if any.
  // False only when one starts but never ends.
  bool SkipConstruct(bool& skipped) {
    skipped = false;
    if (At("<?")) {
      skipped = true;
      return SkipPast(pos_ + 2, "?>");
    }
    if (At("<!")) {
      skipped = true;
      return SkipPast(pos_ + 2, ">");
    }
    return true;
  }

  // White space and constructs before and after the root.
  bool SkipOutside() {
    for (;;) {
      while (pos_ < s_.size() && IsBlank(s_[pos_])) ++pos_;
      bool skipped = false;
      if (!SkipConstruct(skipped)) return false;
      if (!skipped) return true;
    }
  }

  // At "<": the name is every byte up to a space, ">" or "/>". Then the
  // attributes, each name="value" with the value verbatim. `closed` tells a
  // self-closing tag.
  bool ReadStartTag(Element& e, bool& closed) {
    size_t i = pos_ + 1;
    const size_t n = s_.size();
    size_t nameBegin = i;
    while (i < n && s_[i] != ' ' && s_[i] != '>' && !(s_[i] == '/' && i + 1 < n && s_[i + 1] == '>')) ++i;
    if (i == n || i == nameBegin) return false;
    e.name.assign(s_, nameBegin, i - nameBegin);
    for (;;) {
      while (i < n && s_[i] == ' ') ++i;
      if (i == n) return false;
      if (s_[i] == '>') {
        pos_ = i + 1;
        closed = false;
        return true;
      }
      if (s_[i] == '/' && i + 1 < n && s_[i + 1] == '>') {
        pos_ = i + 2;
        closed = true;
        return true;
      }
      size_t attrBegin = i;
      while (i < n && s_[i] != '=' && s_[i] != ' ' && s_[i] != '>') ++i;
      if (i + 1 >= n || s_[i] != '=' || s_[i + 1] != '"') return false;
      size_t valueBegin = i + 2;
      size_t valueEnd = s_.find('"', valueBegin);
      if (valueEnd == npos) return false;
      e.attributes.push_back({std::string(s_.substr(attrBegin, i - attrBegin)),
                              std::string(s_.substr(valueBegin, valueEnd - valueBegin))});
      i = valueEnd + 1;
    }
  }

  // The content of `root` up to its end tag, walked with an explicit stack
  // of open elements so deep nesting costs no call depth.
  bool ReadContent(Element& root) {
    std::vector<Element*> open{&root};
    std::vector<std::string> rawText(1);
    while (!open.empty()) {
      size_t lt = s_.find('<', pos_);
      if (lt == npos) return false;
      rawText.back().append(s_, pos_, lt - pos_);
      pos_ = lt;
      if (At(kCdataOpen)) {
        size_t begin = pos_;
        if (!SkipPast(pos_ + kCdataOpen.size(), kCdataClose)) return false;
        rawText.back().append(s_, begin, pos_ - begin);
        continue;
      }
      bool skipped = false;
      if (!SkipConstruct(skipped)) return false;
      if (skipped) continue;
      if (At("</")) {
        size_t gt = s_.find('>', pos_ + 2);
        if (gt == npos) return false;
        std::string_view name = s_.substr(pos_ + 2, gt - pos_ - 2);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        if (name != open.back()->name) return false;
        open.back()->text = TrimBlank(rawText.back());
        open.pop_back();
        rawText.pop_back();
        pos_ = gt + 1;
        continue;
      }
      if (open.size() >= static_cast<size_t>(kMaxElementDepth)) return false;
      Element child;
      bool closed = false;
      if (!ReadStartTag(child, closed)) return false;
      Element& parent = *open.back();
      parent.children.push_back(std::move(child));
      if (!closed) {
        open.push_back(&parent.children.back());
        rawText.emplace_back();
      }
    }
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<RuleDocument> ReadRuleDocument(std::string_view bytes) {
  std::string cleaned;
  if (!RemoveComments(bytes, cleaned)) return std::nullopt;
  return Reader(cleaned).Read();
}

}  // namespace quill::rules
