#include "NodeReference.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "extract/RegexObject.h"
#include "text/Codec.h"

namespace quill::extract::test {

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

bool NodeAvailable() { return std::system("command -v node >/dev/null 2>&1") == 0; }

std::vector<std::string> RunNode(const std::vector<std::string>& pages,
                                 const std::vector<ReferenceCase>& cases, std::string* error) {
  static std::atomic<int> serial{0};
  const std::string base = ::testing::TempDir() + "regex_reference_" + std::to_string(getpid()) + "_" +
                           std::to_string(serial++);
  const std::string in = base + ".json", out = base + ".out", err = base + ".err";
  {
    std::ofstream f(in, std::ios::binary);
    f << "{\"pages\":[";
    for (size_t i = 0; i < pages.size(); ++i) f << (i ? "," : "") << JsonString(text::Utf8(pages[i]));
    f << "],\"cases\":[";
    for (size_t i = 0; i < cases.size(); ++i) {
      const ReferenceCase& c = cases[i];
      f << (i ? "," : "") << "{\"page\":" << c.page << ",\"flags\":" << JsonString(c.flags)
        << ",\"pattern\":" << JsonString(text::Utf8(c.pattern));
      if (c.js) f << ",\"js\":" << JsonString(text::Utf8(*c.js));
      if (c.replacement) f << ",\"replace\":" << JsonString(text::Utf8(*c.replacement));
      f << "}";
    }
    f << "]}";
  }
  // A deadline, so a hung interpreter fails the test instead of stalling it.
  const std::string command = "timeout 120 node '" QUILLMERE_REGEX_REFERENCE_JS "' '" + in + "' '" + out +
                              "' 2>'" + err + "'";
  int rc = std::system(command.c_str());
  std::vector<std::string> lines;
  if (rc != 0) {
    std::ifstream e(err);
    std::stringstream s;
    s << e.rdbuf();
    *error = "node failed (" + std::to_string(rc) + "): " + s.str();
  } else {
    std::ifstream f(out, std::ios::binary);
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    if (lines.size() != cases.size()) *error = "node gave " + std::to_string(lines.size()) + " lines";
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  if (!error->empty()) lines.clear();
  return lines;
}

std::string RunOurs(const std::string& page, const ReferenceCase& c) {
  auto has = [&](char f) { return c.flags.find(f) != std::string::npos; };
  RegexObject r;
  if (!r.Create(c.pattern, page, !has('i'), has('m'), has('g'))) return "{\"ok\":false}";
  std::string line = "{\"ok\":true,\"m\":[";
  for (int i = 1; i <= r.MatchCount(); ++i) {
    line += i > 1 ? ",[" : "[";
    line += std::to_string(r.FirstIndex(i)) + "," + JsonString(text::Utf8(r.MatchText(i)));
    for (int k = 1; k <= r.SubmatchCount(); ++k) line += "," + JsonString(text::Utf8(r.SubmatchText(i, k)));
    line += "]";
  }
  line += "]";
  if (c.replacement) line += ",\"r\":" + JsonString(text::Utf8(r.Replace(*c.replacement)));
  return line + "}";
}

}  // namespace quill::extract::test
