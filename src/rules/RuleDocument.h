#pragma once
// The parsed rule file. Every name, attribute value and text is kept in its
// stored (encoded) form, so what is read and never changed goes back to the
// file byte for byte.
#include <string>
#include <vector>

namespace quill::rules {

struct Attribute {
  std::string name;
  std::string value;
  bool operator==(const Attribute&) const = default;
};

struct Element {
  std::string name;
  std::vector<Attribute> attributes;
  // Trimmed of white space at both ends; CDATA sections stay in it with
  // their markers and are written back as they are.
  std::string text;
  std::vector<Element> children;
  bool operator==(const Element&) const = default;
};

struct RuleDocument {
  Element root;
  bool operator==(const RuleDocument&) const = default;
};

// Levels of nesting, the root's included. Deeper documents do not parse: it
// keeps the recursive writer and the element destructors on a small stack.
inline constexpr int kMaxElementDepth = 256;

}  // namespace quill::rules
