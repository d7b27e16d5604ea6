#include "download/BookFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "text/Codec.h"

namespace quill::download {
namespace {

constexpr size_t kMaxNameBytes = 240;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string SafePathComponent(std::string_view local) {
  std::string safe;
  safe.reserve(local.size());
  for (size_t i = 0; i < local.size();) {
    unsigned char b = static_cast<unsigned char>(local[i]);
    if (b >= 0x80 && i + 1 < local.size() && static_cast<unsigned char>(local[i + 1]) >= 0x40) {
      // A trail byte may be 0x5C, the backslash: the character stays whole.
      safe.append(local.substr(i, 2));
      i += 2;
      continue;
    }
    bool unsafe = b < 0x20 || b == 0x7F || b == '/' || b == '\\' || b >= 0x80;
    safe += unsafe ? '_' : static_cast<char>(b);
    ++i;
  }
  std::string name = text::Utf8(safe);
  if (name.size() > kMaxNameBytes) {
    size_t cut = kMaxNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  if (name.empty() || name == "." || name == "..") name.assign(1, '_');  // not = "_": GCC 12 at -O3 warns wrongly of an overlap
  return name;
}

bool WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
  static std::atomic<unsigned> serial{0};
  std::filesystem::path temp = file;
  temp += ".part-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path BookFiles::BookDirectory(const Text& title) const {
  return workDir_ / SafePathComponent(title);
}

std::filesystem::path BookFiles::ChapterFile(const Text& title, int rowNumber) const {
  return BookDirectory(title) / (std::to_string(rowNumber) + ".txt");
}

std::filesystem::path BookFiles::BookFile(const Text& title, const Text& author) const {
  return workDir_ / (SafePathComponent(title + "(" + author + ")") + ".txt");
}

bool BookFiles::CreateBookDirectory(const Text& title) const {
  std::error_code ec;
  std::filesystem::create_directories(BookDirectory(title), ec);
  return !ec;
}

bool BookFiles::WriteChapter(const Text& title, int rowNumber, std::string_view text) const {
  return WriteFileAtomically(ChapterFile(title, rowNumber), text);
}

std::string BookFiles::ReadChapter(const Text& title, int rowNumber) const {
  return ReadWholeFile(ChapterFile(title, rowNumber));
}

bool BookFiles::WriteBook(const Text& title, const Text& author, std::string_view bytes) const {
  return WriteFileAtomically(BookFile(title, author), bytes);
}

}  // namespace quill::download
