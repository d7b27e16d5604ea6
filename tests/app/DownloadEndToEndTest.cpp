// The download and merge buttons end to end: the real windows and worker
// pool, the real request routine against a local site, and the files the
// program leaves in its working directory.
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "SessionFixture.h"

namespace quill::app::e2e {
namespace {

using testsupport::RecordedRequest;
using testsupport::ScriptedResponse;

const std::string kMerged = "整本小说下载完毕";
const Asked kListedNotice{"提示", "小说章节名获取完毕\r\n(3秒后自动关闭)", 3000, 64};
const Asked kMergedNotice{"提示", "整本小说下载完毕", 0, 64};
const Asked kDownloadedNotice{"提示", "章节内容已下载完毕", 0, 64};

std::string FailureReport(int failed) {
  return "有" + std::to_string(failed) + "个章节的内容下载失败，请点击继续下载，或直接手动合并小说";
}

ScriptedResponse Fault(ScriptedResponse::Fault fault) {
  ScriptedResponse response;
  response.fault = fault;
  return response;
}

ScriptedResponse NotFound() {
  ScriptedResponse response;
  response.status = 404;
  return response;
}

// Every page of a book by path, for handlers that decide per request.
std::map<std::string, std::string> PagesOf(const Book& book) {
  std::map<std::string, std::string> pages{{book.IndexPath(), book.IndexPage()}};
  for (int n = 1; n <= book.chapters; ++n) pages[book.ChapterPath(n)] = book.ChapterPage(n);
  return pages;
}

class DownloadEndToEnd : public SessionFixture {
 protected:
  // The chapter paths requested after the first `from` requests, in order.
  std::vector<std::string> ChapterRequests(const Book& book, std::size_t from = 0) {
    std::vector<std::string> paths;
    const std::vector<RecordedRequest> all = server.Requests();
    for (std::size_t i = from; i < all.size(); ++i)
      if (all[i].Path() != book.IndexPath()) paths.push_back(all[i].Path());
    return paths;
  }

  void ExpectRows(const std::set<int>& failed, int rows) {
    for (int row = 0; row < rows; ++row) {
      SCOPED_TRACE(row + 1);
      const bool fail = failed.count(row + 1) > 0;
      EXPECT_EQ(Cell(row, 3), fail ? QStringLiteral("失败3次") : QStringLiteral("下载完毕"));
      EXPECT_EQ(Checked(row), fail);
    }
  }
};

// What the controls showed at one moment of a run (GUI thread).
struct Controls {
  bool download, fetch, merge, autoMergeEnabled, rules;
  QString status;
  bool operator==(const Controls&) const = default;
};

// ---- a whole book

struct BookCase {
  const char* name;
  Shape shape;
  bool utf8;
  const char* declaration;
};

void PrintTo(const BookCase& c, std::ostream* os) { *os << c.name; }

class WholeBook : public DownloadEndToEnd, public testing::WithParamInterface<BookCase> {
 protected:
  Controls Now() {
    return {Enabled(u"按钮_下载章节内容"), Enabled(u"按钮_获取章节标题"), Enabled(u"按钮_合并"),
            Enabled(u"选择框1"), Rules().isEnabled(), Status()};
  }
};

TEST_P(WholeBook, EveryChapterAndTheBookAreSavedAndMerged) {
  const BookCase& c = GetParam();
  Book book;
  book.shape = c.shape;
  book.utf8 = c.utf8;
  book.declaration = c.declaration;
  if (c.shape == Shape::kMarrowdene) {
    book.title = "山海　旧梦";
    book.author = "林 知秋";
  }
  book.Serve(server);
  UseRule(c.shape);
  FetchIndex(server.Url(book.IndexPath()));
  ASSERT_EQ(Table()->rowCount(), book.chapters);
  ASSERT_TRUE(AutoMerge());

  // Looked at once while chapters are being fetched, and at the notice.
  std::optional<Controls> during, atNotice;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!during && ChapterRequests(book).size() > 0) during = Now();
  });
  sampler.start(5);
  AnswerNext([&](const NoticeRequest&) { atNotice = Now(); });
  Click(u"按钮_下载章节内容");
  sampler.stop();

  ASSERT_TRUE(during.has_value());
  EXPECT_FALSE(during->download);
  EXPECT_FALSE(during->rules);
  EXPECT_TRUE(during->fetch);
  EXPECT_TRUE(during->autoMergeEnabled);
  EXPECT_FALSE(during->merge);
  ASSERT_TRUE(atNotice.has_value());
  EXPECT_EQ(*atNotice, (Controls{true, true, false, false, false, Q(kMerged)}));
  EXPECT_EQ(Now(), (Controls{true, true, false, true, true, Q(kMerged)}));
  EXPECT_TRUE(AutoMerge());
  EXPECT_EQ(NoticesAsked(), (std::vector<Asked>{kListedNotice, kMergedNotice}));

  const std::string base = server.Url(c.shape == Shape::kVellowick ? "/book/7/" : "/");
  EXPECT_EQ(Main<QLineEdit>(u"编辑框2")->text(), Q(base));
  ExpectRows({}, book.chapters);
  for (int n = 1; n <= book.chapters; ++n) EXPECT_EQ(server.Hits(book.ChapterPath(n)), 1) << n;

  // Nothing but the chapter files and the book: no temporary left behind.
  std::vector<std::string> expected{BookFilePath(book).filename().string()};
  for (int n = 1; n <= book.chapters; ++n)
    expected.push_back((BookDirectory(book).filename() / (std::to_string(n) + ".txt")).string());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesUnder(work), expected);
  for (int n = 1; n <= book.chapters; ++n) {
    ASSERT_EQ(ReadBytes(BookDirectory(book) / (std::to_string(n) + ".txt")), book.ChapterFile(n)) << n;
  }
  EXPECT_EQ(ReadBytes(BookFilePath(book)), book.BookFile(book.AllChapters()));
}

INSTANTIATE_TEST_SUITE_P(
    Books, WholeBook,
    testing::Values(BookCase{"VellowickInGbk", Shape::kVellowick, false, kDeclareGbk},
                    BookCase{"MarrowdeneInUtf8", Shape::kMarrowdene, true, kDeclareUtf8Quoted}),
    [](const testing::TestParamInfo<BookCase>& info) { return std::string(info.param.name); });

// ---- chapters that fail

TEST_F(DownloadEndToEnd, FailedChaptersAreReportedAndTheNextPressFetchesOnlyThem) {
  Book book;
  book.chapters = 12;
  const std::set<int> silent{4, 7, 11};
  constexpr int kLateChapter = 2;  // answers only its third request
  const std::map<std::string, std::string> pages = PagesOf(book);
  std::atomic<bool> healed{false};
  server.SetHandler([&](const RecordedRequest& r) {
    auto page = pages.find(r.Path());
    if (page == pages.end()) return NotFound();
    for (int n : silent)
      if (!healed && r.Path() == book.ChapterPath(n)) return Fault(ScriptedResponse::Fault::Silence);
    // An empty page is a failed attempt, and one the transport does not
    // retry by itself: each request is one attempt.
    if (r.Path() == book.ChapterPath(kLateChapter) && server.Hits(r.Path()) < 3) return ScriptedResponse::Ok("");
    return ScriptedResponse::Ok(page->second);
  });
  FetchIndex(server.Url(book.IndexPath()));
  ASSERT_TRUE(AutoMerge());

  Click(u"按钮_下载章节内容");

  EXPECT_EQ(Status(), Q(FailureReport(3)));
  EXPECT_EQ(NoticesAsked(), std::vector<Asked>{kListedNotice}) << "no notice after failures";
  EXPECT_FALSE(AutoMerge());
  EXPECT_TRUE(Enabled(u"选择框1"));
  EXPECT_TRUE(Enabled(u"按钮_下载章节内容"));
  EXPECT_TRUE(Enabled(u"按钮_合并"));
  EXPECT_TRUE(Rules().isEnabled());
  ExpectRows(silent, book.chapters);
  for (int n = 1; n <= book.chapters; ++n) {
    const bool retried = silent.count(n) || n == kLateChapter;
    EXPECT_EQ(server.Hits(book.ChapterPath(n)), retried ? 3 : 1) << n;
    const std::filesystem::path file = BookDirectory(book) / (std::to_string(n) + ".txt");
    if (silent.count(n)) {
      EXPECT_FALSE(std::filesystem::exists(file)) << n;
    } else {
      EXPECT_EQ(ReadBytes(file), book.ChapterFile(n)) << n;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(BookFilePath(book)));
  const int workers = session->DownloadPool().WorkerCount();
  EXPECT_EQ(workers, 10);

  // The site is back: the next press fetches exactly the rows still checked,
  // on the same threads.
  healed = true;
  const std::size_t before = server.Requests().size();
  AnswerNext();
  Click(u"按钮_下载章节内容");

  std::vector<std::string> again = ChapterRequests(book, before);
  std::sort(again.begin(), again.end());
  std::vector<std::string> expected;
  for (int n : silent) expected.push_back(book.ChapterPath(n));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(again, expected);
  EXPECT_EQ(session->DownloadPool().WorkerCount(), workers);
  // The box is unchecked now: the report names no failure and a notice says so.
  EXPECT_EQ(Status(), Q(FailureReport(0)));
  EXPECT_EQ(NoticesAsked(), (std::vector<Asked>{kListedNotice, kDownloadedNotice}));
  EXPECT_TRUE(Enabled(u"按钮_合并"));
  ExpectRows({}, book.chapters);
  for (int n : silent) EXPECT_EQ(ReadBytes(BookDirectory(book) / (std::to_string(n) + ".txt")), book.ChapterFile(n));
  EXPECT_FALSE(std::filesystem::exists(BookFilePath(book))) << "merged only when asked";

  AnswerNext();
  Click(u"按钮_合并");
  EXPECT_EQ(Status(), Q(kMerged));
  EXPECT_EQ(ReadBytes(BookFilePath(book)), book.BookFile(book.AllChapters()));
}

TEST_F(DownloadEndToEnd, AMergeByHandSkipsTheFailedRowWithoutAMark) {
  Book book;
  book.chapters = 3;
  book.Serve(server);
  server.Route(book.ChapterPath(2), Fault(ScriptedResponse::Fault::ResetAtOnce));
  FetchIndex(server.Url(book.IndexPath()));
  Click(u"按钮_下载章节内容");
  ASSERT_EQ(Status(), Q(FailureReport(1)));
  ASSERT_TRUE(Enabled(u"按钮_合并"));

  bool mergeEnabledAtNotice = true;
  QString statusAtNotice;
  AnswerNext([&](const NoticeRequest&) {
    mergeEnabledAtNotice = Enabled(u"按钮_合并");
    statusAtNotice = Status();
  });
  Click(u"按钮_合并");

  EXPECT_FALSE(mergeEnabledAtNotice);
  EXPECT_EQ(statusAtNotice, Q(kMerged));
  EXPECT_TRUE(Enabled(u"按钮_合并"));
  EXPECT_EQ(NoticesAsked().back(), kMergedNotice);
  EXPECT_EQ(Cell(1, 3), QStringLiteral("失败3次"));
  EXPECT_EQ(ReadBytes(BookFilePath(book)), book.ChapterFile(1) + "\r\n\r\n" + book.ChapterFile(3) + "\r\n\r\n");
}

// ---- a title that names a path

class HostileTitle : public DownloadEndToEnd, public testing::WithParamInterface<const char*> {};

TEST_P(HostileTitle, StaysInsideTheWorkingDirectory) {
  Book book;
  book.chapters = 3;
  book.title = GetParam();
  book.Serve(server);
  FetchIndex(server.Url(book.IndexPath()));
  ASSERT_EQ(Main<QLabel>(u"标签_书名")->text(), Q(GetParam()));
  AnswerNext();
  Click(u"按钮_下载章节内容");
  EXPECT_EQ(Status(), Q(kMerged));

  // Everything under the temporary root is inside the working directory,
  // and merge and download agreed on where the chapters are.
  for (const std::string& file : FilesUnder(root.Path())) EXPECT_EQ(file.rfind("outer/inner/work/", 0), 0u) << file;
  std::vector<std::filesystem::path> directories, books;
  for (const auto& entry : std::filesystem::directory_iterator(work))
    (entry.is_directory() ? directories : books).push_back(entry.path());
  ASSERT_EQ(directories.size(), 1u);
  ASSERT_EQ(books.size(), 1u);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadBytes(directories[0] / (std::to_string(n) + ".txt")), book.ChapterFile(n));
  EXPECT_EQ(ReadBytes(books[0]), book.BookFile(book.AllChapters()));
}

std::string TitleName(const testing::TestParamInfo<const char*>& info) {
  const std::string title = info.param;
  return title == "../../x" ? "Climbing" : title == ".." ? "Parent" : "Absolute";
}

INSTANTIATE_TEST_SUITE_P(Titles, HostileTitle, testing::Values("../../x", "..", "/tmp/x"), TitleName);

// ---- closing the window

TEST_F(DownloadEndToEnd, ClosingDuringARunFinishesTheRunningChaptersOnly) {
  Book book;
  book.chapters = 40;
  const std::map<std::string, std::string> pages = PagesOf(book);
  // Chapters are held back until the window has been told to close.
  std::mutex mutex;
  std::condition_variable releasedChanged;
  bool released = false;
  auto release = [&] {
    std::lock_guard lock(mutex);
    released = true;
    releasedChanged.notify_all();
  };
  server.SetHandler([&](const RecordedRequest& r) {
    auto page = pages.find(r.Path());
    if (page == pages.end()) return NotFound();
    if (r.Path() != book.IndexPath()) {
      std::unique_lock lock(mutex);
      releasedChanged.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
    }
    return ScriptedResponse::Ok(page->second);
  });
  FetchIndex(server.Url(book.IndexPath()));

  // As the program's main has it: the window's end ends the event loop.
  Window().onClosed = [] { QCoreApplication::quit(); };
  bool runReturned = false, idleWhenClosed = false, hiddenWhenClosed = false;
  std::size_t filesWhenClosed = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (ChapterRequests(book).size() < 10) return;
    closer.stop();
    // Let the held chapters through only once the stop is under way.
    QTimer::singleShot(100, release);
    Window().close();
    idleWhenClosed = session->DownloadPool().IsIdle();
    hiddenWhenClosed = !Window().isVisible();
    filesWhenClosed = FilesUnder(work).size();
  });
  QTimer::singleShot(0, [&] {
    closer.start(5);
    Click(u"按钮_下载章节内容");
    runReturned = true;
  });
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [&] {
    release();
    QCoreApplication::exit(2);
  });
  giveUp.start(60000);
  const int exitCode = QCoreApplication::exec();
  giveUp.stop();
  release();

  EXPECT_EQ(exitCode, 0) << "the event loop ended by the close, not by the test's deadline";
  EXPECT_TRUE(runReturned);
  EXPECT_TRUE(idleWhenClosed) << "the window went before the running chapters were done";
  EXPECT_TRUE(hiddenWhenClosed);
  Window().DestroyRulesWindow();

  // The ten running chapters were saved whole; the queued ones never ran.
  const std::vector<std::string> requested = ChapterRequests(book);
  EXPECT_EQ(requested.size(), 10u);
  EXPECT_EQ(filesWhenClosed, requested.size());
  std::set<int> saved;
  for (int n = 1; n <= book.chapters; ++n) {
    if (std::find(requested.begin(), requested.end(), book.ChapterPath(n)) == requested.end()) continue;
    saved.insert(n);
    EXPECT_EQ(ReadBytes(BookDirectory(book) / (std::to_string(n) + ".txt")), book.ChapterFile(n)) << n;
  }
  EXPECT_EQ(FilesUnder(work).size(), saved.size()) << "a file besides the chapters";
  for (int row = 0; row < book.chapters; ++row) {
    EXPECT_EQ(Cell(row, 3), saved.count(row + 1) ? QStringLiteral("下载完毕") : QStringLiteral("等待下载")) << row + 1;
  }
  // The run ended quietly: no outcome, no notice.
  EXPECT_EQ(NoticesAsked(), std::vector<Asked>{kListedNotice});
  EXPECT_FALSE(Status().startsWith(QStringLiteral("有")));
  EXPECT_NE(Status(), Q(kMerged));
}

}  // namespace
}  // namespace quill::app::e2e
