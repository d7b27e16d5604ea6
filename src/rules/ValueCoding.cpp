#include "rules/ValueCoding.h"

#include <array>

namespace quill::rules {
namespace {

// Every byte the coding cares about lies below 0x40, where no trail byte
// does; a "lead" byte before such a byte cannot be half of a character.
bool StartsPair(std::string_view s, size_t i) {
  return static_cast<unsigned char>(s[i]) >= 0x81 && i + 1 < s.size() &&
         static_cast<unsigned char>(s[i + 1]) >= 0x40;
}

struct Entity {
  std::string_view stored;
  char character;
};

constexpr std::array<Entity, 6> kEntities{{
    {"&lt;", '<'},
    {"&gt;", '>'},
    {"&amp;", '&'},
    {"&apos;", '\''},
    {"&quot;", '"'},
    {"&quote;", '"'},  // found in hand-made files
}};

constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";

void DecodeInto(std::string& out, std::string_view stored) {
  for (size_t i = 0; i < stored.size();) {
    if (StartsPair(stored, i)) {
      out.append(stored, i, 2);
      i += 2;
      continue;
    }
    if (stored[i] == '&') {
      const Entity* hit = nullptr;
      for (const Entity& e : kEntities)
        if (stored.substr(i, e.stored.size()) == e.stored) hit = &e;
      if (hit) {
        out += hit->character;
        i += hit->stored.size();
        continue;
      }
    }
    out += stored[i++];
  }
}

}  // namespace

std::string EncodeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size() + value.size() / 8);
  for (size_t i = 0; i < value.size();) {
    if (StartsPair(value, i)) {
      out.append(value, i, 2);
      i += 2;
      continue;
    }
    switch (value[i]) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '\'': out += "&apos;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += value[i];
    }
    ++i;
  }
  return out;
}

std::string DecodeValue(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  DecodeInto(out, stored);
  return out;
}

std::string DecodeText(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  size_t from = 0;
  while (from < stored.size()) {
    size_t open = stored.find(kCdataOpen, from);
    size_t close = open == std::string_view::npos
                       ? std::string_view::npos
                       : stored.find(kCdataClose, open + kCdataOpen.size());
    if (close == std::string_view::npos) break;
    DecodeInto(out, stored.substr(from, open - from));
    size_t content = open + kCdataOpen.size();
    out.append(stored, content, close - content);
    from = close + kCdataClose.size();
  }
  DecodeInto(out, stored.substr(from));
  return out;
}

bool IsStorableName(std::string_view name) {
  if (name.empty() || name.find(' ') != std::string_view::npos) return false;
  return name[0] != '!' && name[0] != '?' && name[0] != '/';
}

}  // namespace quill::rules
