#include "rules/RuleWriter.h"

namespace quill::rules {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"gb18030\"?>";

void BreakLine(std::string& out, int depth) {
  out += "\r\n";
  out.append(static_cast<size_t>(depth), '\t');
}

// Depth is bounded by the reader, and documents built in code are shallow.
void WriteElement(std::string& out, const Element& e, int depth) {
  BreakLine(out, depth);
  out += '<';
  out += e.name;
  for (const Attribute& a : e.attributes) {
    out += ' ';
    out += a.name;
    out += "=\"";
    out += a.value;
    out += '"';
  }
  if (e.text.empty() && e.children.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  out += e.text;
  for (const Element& child : e.children) WriteElement(out, child, depth + 1);
  if (!e.children.empty()) BreakLine(out, depth);
  out += "</";
  out += e.name;
  out += '>';
}

}  // namespace

std::string WriteRuleDocument(const RuleDocument& doc) {
  std::string out(kDeclaration);
  WriteElement(out, doc.root, 0);
  return out;
}

}  // namespace quill::rules
