#pragma once
// Small pieces the fuzz targets share: the failure that libFuzzer reports,
// and a way to let a few input bytes stand for the words a target's code
// looks for, so that mutations reach them without a dictionary.
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quill::fuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

inline bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The bytes 0x01 to 0x08 and 0x0E to 0x1F stand for the words, in order;
// every other byte stands for itself. Tab, CR and LF stay themselves, as
// the pages and header blocks hold them.
class Words {
 public:
  Words(std::initializer_list<std::string> words) : words_(words) {}

  std::string Expand(std::string_view bytes) const {
    std::string out;
    for (char c : bytes) {
      const int index = Slot(static_cast<unsigned char>(c));
      if (index >= 0 && static_cast<size_t>(index) < words_.size()) {
        out += words_[static_cast<size_t>(index)];
      } else {
        out += c;
      }
    }
    return out;
  }

 private:
  static int Slot(unsigned char b) {
    if (b >= 0x01 && b <= 0x08) return b - 0x01;
    if (b >= 0x0E && b <= 0x1F) return 8 + (b - 0x0E);
    return -1;
  }

  std::vector<std::string> words_;
};

// The input cut at its zero bytes into at most `count` parts; the last part
// takes the rest, zeros and all.
inline std::vector<std::string_view> Parts(std::string_view input, size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t zero = input.find('\0');
    if (zero == std::string_view::npos) break;
    parts.push_back(input.substr(0, zero));
    input.remove_prefix(zero + 1);
  }
  parts.push_back(input);
  parts.resize(count);
  return parts;
}

}  // namespace quill::fuzz
