#include "download/DownloadRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include <sys/resource.h>
#include <csignal>
#include <unistd.h>

#include "FakeControls.h"
#include "text/Codec.h"

namespace quill::download {
namespace {

using text::Cp936;
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("quillmere-run-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  static inline std::atomic<int> counter_{0};
  fs::path path_;
};

// Chapter pages by address; addresses in `dead` answer nothing.
class Site {
 public:
  std::string Fetch(std::string_view address) {
    std::lock_guard l(m_);
    std::string a(address);
    fetched_.push_back(a);
    if (dead_.count(a)) return {};
    return "<div>" + a.substr(a.rfind('/') + 1) + "</div>";
  }
  void Kill(const std::string& a) { std::lock_guard l(m_); dead_.insert(a); }
  void Revive() { std::lock_guard l(m_); dead_.clear(); }
  std::vector<std::string> TakeFetched() {
    std::lock_guard l(m_);
    return std::exchange(fetched_, {});
  }

 private:
  std::mutex m_;
  std::set<std::string> dead_;
  std::vector<std::string> fetched_;
};

class DownloadRunTest : public testing::Test {
 protected:
  DownloadRunTest() {
    ui.编辑框1.SetText("http://h/book/7/index.html");
    ui.标签_书名.SetCaption("T");
    ui.标签_作者.SetCaption("A");
    ui.章节内容左.SetText("<div>");
    ui.章节内容右.SetText("</div>");
    ui.download.SetEnabled(true);
    ui.merge.SetEnabled(false);
  }
  ~DownloadRunTest() override { pool.Stop(1); }

  void AddRows(int n) {
    for (int i = 0; i < n; ++i) {
      int row = ui.table.AppendRow(std::to_string(i + 1));
      ui.table.SetStateImage(row, 1);
      ui.table.SetCell(row, 1, "c" + std::to_string(i + 1));
      ui.table.SetCell(row, 2, std::to_string(i + 1) + ".html");
      ui.table.SetCell(row, 3, Cp936("等待下载"));
    }
  }

  std::string Expected(int rowNumber) {
    return "c" + std::to_string(rowNumber) + "\r\n" + std::to_string(rowNumber) + ".html";
  }

  fakes::FakeUi ui;
  TempDir dir;
  BookFiles files{dir.path()};
  pool::WorkerPool pool;
  pool::SectionLock lock;
  pool::SharedCounter failed;
  int32_t done = 0;
  Site site;
  extract::ChapterTaskContext tasks{
      ui.ui, lock, failed, done, [this](std::string_view a) { return site.Fetch(a); },
      [this](const std::string& t, int n, std::string_view text) { files.WriteChapter(t, n, text); }};
  DownloadContext run{ui.ui, pool, tasks, files};
};

TEST_F(DownloadRunTest, EveryChapterSavedThenMergedAutomatically) {
  AddRows(120);
  DownloadRun(run);

  std::string book;
  for (int n = 1; n <= 120; ++n) {
    EXPECT_EQ(ReadWholeFile(dir.path() / "T" / (std::to_string(n) + ".txt")), Expected(n));
    book += Expected(n) + "\r\n\r\n";
  }
  EXPECT_EQ(ReadWholeFile(dir.path() / "T(A).txt"), book);
  EXPECT_EQ(ui.标签4.Caption(), Cp936("整本小说下载完毕"));
  auto calls = ui.notices.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, Cp936("整本小说下载完毕"));
  EXPECT_EQ(calls[0].style, 64);
  EXPECT_EQ(calls[0].timeoutMs, 0);
  EXPECT_FALSE(ui.merge.IsEnabled());
  EXPECT_TRUE(ui.download.IsEnabled());
  EXPECT_TRUE(ui.选择框1.IsEnabled());
  EXPECT_TRUE(ui.rulesWindow.IsEnabled());
  EXPECT_EQ(ui.编辑框2.GetText(), "http://h/book/7/");
  for (int row = 0; row < 120; ++row) EXPECT_EQ(ui.table.StateImage(row), 0);
  EXPECT_EQ(site.TakeFetched().size(), 120u);
}

TEST_F(DownloadRunTest, FailuresAreReportedAndASecondPressRetriesExactlyThem) {
  AddRows(20);
  for (int n : {3, 9, 17}) site.Kill("http://h/book/7/" + std::to_string(n) + ".html");
  DownloadRun(run);

  EXPECT_EQ(ui.标签4.Caption(),
            Cp936("有") + "3" + Cp936("个章节的内容下载失败，请点击继续下载，或直接手动合并小说"));
  EXPECT_TRUE(ui.notices.Calls().empty());
  EXPECT_FALSE(ui.选择框1.IsChecked());
  EXPECT_TRUE(ui.download.IsEnabled());
  EXPECT_TRUE(ui.merge.IsEnabled());
  EXPECT_FALSE(fs::exists(dir.path() / "T(A).txt"));
  EXPECT_EQ(ui.table.Cell(8, 3), Cp936("失败3次"));
  site.TakeFetched();

  site.Revive();
  const int workersBefore = pool.WorkerCount();
  DownloadRun(run);
  std::vector<std::string> fetched = site.TakeFetched();
  std::multiset<std::string> got(fetched.begin(), fetched.end());
  EXPECT_EQ(got, (std::multiset<std::string>{"http://h/book/7/3.html", "http://h/book/7/9.html",
                                             "http://h/book/7/17.html"}));
  EXPECT_EQ(pool.WorkerCount(), workersBefore);  // the second run made no threads
  // 选择框1 is unchecked now: report with 0 and the "downloaded" notice.
  EXPECT_EQ(ui.标签4.Caption(),
            Cp936("有") + "0" + Cp936("个章节的内容下载失败，请点击继续下载，或直接手动合并小说"));
  auto calls = ui.notices.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, Cp936("章节内容已下载完毕"));
}

TEST_F(DownloadRunTest, MergeSkipsRowsThatAreNotDownloaded) {
  AddRows(3);
  site.Kill("http://h/book/7/2.html");
  ui.选择框1.SetChecked(false);
  DownloadRun(run);
  MergeButton(ui.ui, files);
  EXPECT_EQ(ReadWholeFile(dir.path() / "T(A).txt"),
            Expected(1) + "\r\n\r\n" + Expected(3) + "\r\n\r\n");
  EXPECT_EQ(ui.标签4.Caption(), Cp936("整本小说下载完毕"));
  EXPECT_TRUE(ui.merge.IsEnabled());
}

TEST_F(DownloadRunTest, AFailedBookWriteIsReported) {
  AddRows(2);
  fs::create_directories(dir.path() / "T(A).txt" / "blocker");  // a directory where the book goes
  DownloadRun(run);
  EXPECT_EQ(ui.标签4.Caption(), Cp936("合并失败,请手动重新合并!"));
  EXPECT_FALSE(ui.选择框1.IsChecked());
  EXPECT_TRUE(ui.merge.IsEnabled());
  auto calls = ui.notices.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].style, 16);
  MergeButton(ui.ui, files);
  EXPECT_EQ(ui.notices.Calls().back().message, Cp936("合并失败,请手动重新合并"));
}

TEST_F(DownloadRunTest, HostileTitleStaysInsideTheWorkingDirectory) {
  AddRows(1);
  ui.标签_书名.SetCaption("../../escape");
  ui.标签_作者.SetCaption("/etc/x");
  DownloadRun(run);
  EXPECT_TRUE(fs::exists(dir.path() / ".._.._escape" / "1.txt"));
  EXPECT_TRUE(fs::exists(dir.path() / ".._.._escape(_etc_x).txt"));
  EXPECT_FALSE(fs::exists(dir.path().parent_path().parent_path() / "escape"));
}

// The pool processes events while it starts its threads, so the window can
// be closed then, before any chapter is queued. That close must end the run
// like one during the wait: nothing fetched, no outcome, the pool stopped.
TEST_F(DownloadRunTest, CloseWhileThePoolStartsEndsTheRunAtOnce) {
  AddRows(20);
  bool closed = false;
  pool.SetMessagePump([&] {
    if (closed) return;
    closed = true;
    // What the main window's shut-down does.
    if (run.running) run.closeRequested = true;
    StopPoolForShutdown(pool, ui.pump);
  });
  DownloadRun(run);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(site.TakeFetched().empty());
  EXPECT_TRUE(ui.notices.Calls().empty());
  EXPECT_NE(pool.GetState(), pool::WorkerPool::kRunning);
  EXPECT_FALSE(run.running);
}

TEST(BaseAddress, UpToTheLastSlash) {
  EXPECT_EQ(BaseAddressOf("http://h/book/7/index.html"), "http://h/book/7/");
  EXPECT_EQ(BaseAddressOf("http://h/book/7/"), "http://h/book/7/");
  EXPECT_EQ(BaseAddressOf("nothing"), "/");
}

TEST(SafePathComponent, NamesCannotLeaveTheirDirectory) {
  struct Case { std::string in, out; };
  for (const Case& c : std::vector<Case>{
           {"T", "T"},
           {"", "_"},
           {".", "_"},
           {"..", "_"},
           {"a/b\\c", "a_b_c"},
           {std::string("a\0b", 3), "a_b"},
           {"\x01\x1F\x7F", "___"},
           {"\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},  // 中文 becomes UTF-8
           {"\x81\x5C", text::Utf8("\x81\x5C")},             // a trail byte 0x5C stays
           {"a\xD6", "a_"},                                   // lone lead byte at the end
           {"\xD6/", "__"},                                   // a lead byte cannot swallow "/"
       })
    EXPECT_EQ(SafePathComponent(c.in), c.out) << c.in;
  EXPECT_EQ(SafePathComponent(std::string(300, 'x')).size(), 240u);
  std::string longChinese;
  for (int i = 0; i < 100; ++i) longChinese += "\xD6\xD0";
  std::string name = SafePathComponent(longChinese);
  EXPECT_EQ(name.size(), 240u);  // 80 whole characters of three bytes
}

TEST(WriteFileAtomically, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  fs::path file = dir.path() / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(file, "old"));
  // A file-size limit makes the write fail part way, as a full disk would,
  // whoever runs the test.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tiny = saved;
  tiny.rlim_cur = 2;
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  bool wrote = WriteFileAtomically(file, "a new text longer than the limit");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(ReadWholeFile(file), "old");
  ASSERT_TRUE(WriteFileAtomically(file, "newer"));
  EXPECT_EQ(ReadWholeFile(file), "newer");
  int entries = 0;
  for (auto& e : fs::directory_iterator(dir.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace quill::download
