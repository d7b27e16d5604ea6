#include "rules/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace quill::rules {
namespace {

namespace fs = std::filesystem;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

fs::path DirectoryOf(const fs::path& file) {
  fs::path dir = file.parent_path();
  return dir.empty() ? fs::path(".") : dir;
}

// A temporary file holding `bytes`, flushed to disk, in the directory of
// `file` so that renaming it stays on one file system. Empty on failure,
// with nothing left behind.
fs::path WriteTemporaryBeside(const fs::path& file, std::string_view bytes, const struct stat* keepMode) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temp = DirectoryOf(file) / (file.filename().string() + ".tmp-" + std::to_string(::getpid()) +
                                         "-" + std::to_string(counter++));
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    bool ok = (!keepMode || ::fchmod(fd.get(), keepMode->st_mode & 07777) == 0) && WriteAll(fd.get(), bytes) &&
              ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    if (ok) return temp;
    ::unlink(temp.c_str());
    return {};
  }
  return {};
}

// Makes the rename itself durable; a failure here loses nothing already
// written, so it is not reported.
void SyncDirectory(const fs::path& file) {
  Fd dir(::open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

std::optional<std::string> ReadWholeFile(const fs::path& file) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<size_t>(n) > kMaxRuleFileBytes) return std::nullopt;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

bool ReplaceFile(const fs::path& file, std::string_view bytes) {
  std::error_code error;
  fs::path target = fs::is_symlink(file, error) ? fs::canonical(file, error) : file;
  if (error) return false;
  // A file the user made read-only stays as it is, as it would with an
  // in-place write.
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)
    return false;
  fs::path temp = WriteTemporaryBeside(target, bytes, &old);
  if (temp.empty()) return false;
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectory(target);
  return true;
}

bool CreateFile(const fs::path& file, std::string_view bytes) {
  struct stat existing {};
  if (::lstat(file.c_str(), &existing) == 0) return false;
  fs::path temp = WriteTemporaryBeside(file, bytes, nullptr);
  if (temp.empty()) return false;
  // Refuses to replace anything that appeared meanwhile; where the file
  // system cannot rename that way, a hard link does the same.
  bool created = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0;
  if (!created) {
    if (errno == EINVAL) created = ::link(temp.c_str(), file.c_str()) == 0;
    ::unlink(temp.c_str());
  }
  if (created) SyncDirectory(file);
  return created;
}

}  // namespace quill::rules
