// Saves replace the file in one step: whatever fails on the way, the old
// file stays whole and nothing else is left in its directory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "RuleFileFixture.h"
#include "rules/FileAccess.h"

namespace quill::rules {
namespace {

namespace fs = std::filesystem;

// Writes beyond `bytes` into any file fail, as on a full disk; root is no
// exception, unlike with file permissions.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

using RuleFileSaveTest = RuleFileTest;

TEST_F(RuleFileSaveTest, AFailedSaveLeavesTheOldFileWhole) {
  RuleStore store = Store();
  store.EnsureFile();
  const std::string before = Contents();
  {
    FileSizeLimit limit(before.size() / 2);
    store.Append({"Big", std::string(100'000, 'x'), "", "", "", "", ""});
    store.WriteField(1, RuleField::siteAddress, std::string(100'000, 'y'));
    // Even a smaller document is more than the limit allows: the rule
    // stays, and Remove says so.
    EXPECT_FALSE(store.Remove(1));
  }
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(EntriesInDirectory(), 1u);
  EXPECT_TRUE(store.Remove(1));
  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Marrowdene"}));
}

TEST_F(RuleFileSaveTest, EnsureFileThatFailsLeavesNothing) {
  {
    FileSizeLimit limit(100);
    Store().EnsureFile();
  }
  EXPECT_EQ(EntriesInDirectory(), 0u);
  RuleStore elsewhere(dir_ / "missing" / DefaultRuleFilePath());
  elsewhere.EnsureFile();
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(RuleFileSaveTest, ASaveKeepsPermissionsAndLinks) {
  RuleStore store = Store();
  store.EnsureFile();
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  store.WriteField(1, RuleField::siteAddress, "http://a/");
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  const fs::path link = dir_ / "link.xml";
  fs::create_symlink(file_.filename(), link);
  RuleStore(link).WriteField(1, RuleField::siteAddress, "http://b/");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(store.ReadAt(1).siteAddress, "http://b/");
  EXPECT_EQ(EntriesInDirectory(), 2u);
}

TEST_F(RuleFileSaveTest, AReadOnlyFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  RuleStore store = Store();
  store.EnsureFile();
  fs::permissions(file_, fs::perms::owner_read);
  store.WriteField(1, RuleField::siteAddress, "http://a/");
  EXPECT_FALSE(store.Remove(1));
  EXPECT_EQ(Contents(), RuleStore::DefaultFileBytes());
}

TEST_F(RuleFileSaveTest, CreateFileNeverReplaces) {
  Put("mine");
  EXPECT_FALSE(CreateFile(file_, "theirs"));
  EXPECT_EQ(Contents(), "mine");
  fs::remove(file_);
  fs::create_symlink("nowhere", file_);
  EXPECT_FALSE(CreateFile(file_, "theirs"));
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(EntriesInDirectory(), 1u);
}

}  // namespace
}  // namespace quill::rules
