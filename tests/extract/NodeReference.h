#pragma once
// Runs regex cases through Node.js and through RegexObject and renders both
// as the same JSON line, so a difference is a plain string difference.
#include <optional>
#include <string>
#include <vector>

namespace quill::extract::test {

struct ReferenceCase {
  ReferenceCase(std::string pattern, size_t page, std::string flags, std::optional<std::string> js = {},
                std::optional<std::string> replacement = {})
      : pattern(std::move(pattern)), page(page), flags(std::move(flags)), js(std::move(js)),
        replacement(std::move(replacement)) {}

  std::string pattern;                     // code page 936
  size_t page;                             // index into the pages
  std::string flags;                       // i: ignore case, m: multiline, g: global
  std::optional<std::string> js;           // a different pattern for JavaScript (code page 936)
  std::optional<std::string> replacement;  // also compare Replace (code page 936)
};

bool NodeAvailable();

// One result line per case; empty with `error` set when node could not run.
std::vector<std::string> RunNode(const std::vector<std::string>& pages,
                                 const std::vector<ReferenceCase>& cases, std::string* error);

std::string RunOurs(const std::string& page, const ReferenceCase& c);

// A UTF-8 text as JSON.stringify writes it.
std::string JsonString(std::string_view utf8);

}  // namespace quill::extract::test
