#pragma once
// Where a book's files live: a directory named by the title holding one file
// per downloaded row ("12.txt"), and the book file "T(A).txt" beside it, all
// under one working directory. Titles come from web pages, so every name is
// made safe first; contents stay code-page-936 bytes.
#include <filesystem>
#include <string>
#include <string_view>

namespace quill::download {

using Text = std::string;  // code-page-936 bytes

// A name that cannot leave its directory: no "/", "\", NUL or control
// bytes, never "." or "..", never empty, two-byte characters kept whole,
// at most 240 bytes. Returned as the UTF-8 name the file system shows.
std::string SafePathComponent(std::string_view local);

// Writes the whole file or nothing: a temporary file in the same directory,
// flushed, then renamed over the old one.
bool WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);
// The whole file, or no bytes when it is missing or unreadable.
std::string ReadWholeFile(const std::filesystem::path& file);

class BookFiles {
 public:
  explicit BookFiles(std::filesystem::path workDir) : workDir_(std::move(workDir)) {}

  std::filesystem::path BookDirectory(const Text& title) const;
  std::filesystem::path ChapterFile(const Text& title, int rowNumber) const;
  std::filesystem::path BookFile(const Text& title, const Text& author) const;

  bool CreateBookDirectory(const Text& title) const;
  bool WriteChapter(const Text& title, int rowNumber, std::string_view text) const;
  std::string ReadChapter(const Text& title, int rowNumber) const;
  bool WriteBook(const Text& title, const Text& author, std::string_view bytes) const;

 private:
  std::filesystem::path workDir_;
};

}  // namespace quill::download
