// The fetch button end to end: the real windows, the real request routine and
// a local site serving a book's chapter index.
#include <gtest/gtest.h>

#include <atomic>

#include "SessionFixture.h"

namespace quill::app::e2e {
namespace {

constexpr int kChapters = 500;
const std::string kFetching = "正在获取小说章节名，请稍等...";
const std::string kListed = "小说章节名获取成功，请点击下载章节内容！";

struct IndexCase {
  const char* name;
  Shape shape;
  bool utf8;
  const char* declaration;
};

void PrintTo(const IndexCase& c, std::ostream* os) { *os << c.name; }

class IndexFetchEndToEnd : public SessionFixture, public testing::WithParamInterface<IndexCase> {};

// What the controls showed at one moment of the fetch.
struct Controls {
  bool fetch, download, merge, rules;
  std::string status;
  int rows;
};

TEST_P(IndexFetchEndToEnd, ListsTheBook) {
  const IndexCase& c = GetParam();
  Book book;
  book.shape = c.shape;
  book.utf8 = c.utf8;
  book.declaration = c.declaration;
  book.chapters = kChapters;
  if (c.shape == Shape::kMarrowdene) {
    book.title = "山海　旧 梦";
    book.author = "林 知秋";
  }
  testsupport::ScriptedResponse index = testsupport::ScriptedResponse::Ok(book.IndexPage());
  // Slow enough to look at the window while the job waits for its page.
  index.latency = std::chrono::milliseconds(300);
  server.Route(book.IndexPath(), index);

  if (c.shape == Shape::kVellowick) {
    ASSERT_EQ(Rules().List()->currentRow(), 0) << "the first rule is shown at start";
  } else {
    UseRule(c.shape);
  }
  // Left over from an earlier book: the button clears all of it.
  controls::MainWindowView& view = Window().View();
  view.超级列表框1.SetCell(view.超级列表框1.AppendRow("1"), 3, text::Cp936("下载完毕"));
  view.标签_书名.SetCaption("old");
  view.标签_作者.SetCaption("old");
  view.编辑框2.SetText("http://old/");
  SetAddress(server.Url(book.IndexPath()));

  EXPECT_TRUE(Enabled(u"按钮_获取章节标题"));
  EXPECT_TRUE(Rules().isEnabled());
  EXPECT_TRUE(Enabled(u"按钮_下载章节内容"));
  EXPECT_FALSE(Enabled(u"按钮_合并"));

  // At the notice the job has filled the table but has not handed the
  // controls back yet. It asks from its own thread, so it looks through the
  // control operations, as the job does.
  std::atomic<bool> noticed{false};
  Controls atNotice{};
  notices.Script().Push([&](const NoticeRequest&) {
    atNotice = {view.按钮_获取章节标题.IsEnabled(), view.按钮_下载章节内容.IsEnabled(), view.按钮_合并.IsEnabled(),
                Window().Ui().rules.window.IsEnabled(), text::Utf8(view.标签4.Caption()),
                view.超级列表框1.RowCount()};
    noticed = true;
    return controls::kTimedOut;
  });
  Click(u"按钮_获取章节标题");

  // During: the job waits for its page.
  ASSERT_TRUE(session->IndexFetchRunning());
  EXPECT_FALSE(Enabled(u"按钮_获取章节标题"));
  EXPECT_FALSE(Rules().isEnabled());
  EXPECT_TRUE(Enabled(u"按钮_下载章节内容"));
  EXPECT_FALSE(Enabled(u"按钮_合并"));
  EXPECT_EQ(Status(), Q(kFetching));
  EXPECT_EQ(Table()->rowCount(), 0);
  EXPECT_EQ(Main<QLabel>(u"标签_书名")->text(), QString());
  EXPECT_EQ(Main<QLabel>(u"标签_作者")->text(), QString());
  EXPECT_EQ(Main<QLineEdit>(u"编辑框2")->text(), QString());
  // Still so while the server holds the page back.
  ASSERT_TRUE(PumpUntil([&] { return server.Hits(book.IndexPath()) == 1; }, 10000));
  EXPECT_FALSE(noticed.load());
  EXPECT_FALSE(Enabled(u"按钮_获取章节标题"));
  EXPECT_FALSE(Rules().isEnabled());
  ASSERT_TRUE(PumpUntil([&] { return noticed.load(); }, 20000));
  EXPECT_FALSE(atNotice.fetch);
  EXPECT_FALSE(atNotice.rules);
  EXPECT_TRUE(atNotice.download);
  EXPECT_FALSE(atNotice.merge);
  EXPECT_EQ(atNotice.status, kListed);
  EXPECT_EQ(atNotice.rows, kChapters);

  // After: the controls are back once the notice has gone.
  ASSERT_TRUE(PumpUntil([&] { return !session->IndexFetchRunning(); }, 20000));
  EXPECT_TRUE(Enabled(u"按钮_获取章节标题"));
  EXPECT_TRUE(Rules().isEnabled());
  EXPECT_TRUE(Enabled(u"按钮_下载章节内容"));
  EXPECT_FALSE(Enabled(u"按钮_合并"));
  EXPECT_EQ(Status(), Q(kListed));
  EXPECT_EQ(NoticesAsked(), (std::vector<Asked>{{"提示", "小说章节名获取完毕\r\n(3秒后自动关闭)", 3000, 64}}));

  EXPECT_EQ(Main<QLabel>(u"标签_书名")->text(), Q(text::Utf8(book.ShownTitle())));
  EXPECT_EQ(Main<QLabel>(u"标签_作者")->text(), Q(text::Utf8(book.ShownAuthor())));
  EXPECT_EQ(Main<QLineEdit>(u"编辑框2")->text(), QString()) << "only a download run sets it";
  ASSERT_EQ(Table()->rowCount(), kChapters);
  for (int row = 0; row < kChapters; ++row) {
    const int n = row + 1;
    SCOPED_TRACE(n);
    EXPECT_EQ(Cell(row, 0), QString::number(n));
    EXPECT_TRUE(Checked(row));
    EXPECT_EQ(Cell(row, 1), Q(Book::ChapterTitle(n)));
    EXPECT_EQ(Cell(row, 2), Q(book.CapturedAddress(n)));
    EXPECT_EQ(Cell(row, 3), QStringLiteral("等待下载"));
    if (HasFailure()) break;
  }
  EXPECT_EQ(server.Hits(book.IndexPath()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, IndexFetchEndToEnd,
    testing::Values(IndexCase{"VellowickInGbk", Shape::kVellowick, false, kDeclareGbk},
                    IndexCase{"VellowickInUtf8", Shape::kVellowick, true, kDeclareUtf8},
                    IndexCase{"MarrowdeneInUtf8Quoted", Shape::kMarrowdene, true, kDeclareUtf8Quoted},
                    IndexCase{"MarrowdeneInUtf8UpperCase", Shape::kMarrowdene, true, kDeclareUtf8Upper},
                    IndexCase{"MarrowdeneInGbk", Shape::kMarrowdene, false, R"(<meta charset="gbk">)"}),
    [](const testing::TestParamInfo<IndexCase>& info) { return std::string(info.param.name); });

// ---- a page that cannot be fetched

enum class Unreachable { kReset, kEmptyBody, kNoServer };

class IndexFetchFailure : public SessionFixture, public testing::WithParamInterface<Unreachable> {};

TEST_P(IndexFetchFailure, SaysSoAndGivesTheButtonBack) {
  Book book;
  testsupport::ScriptedResponse response;
  switch (GetParam()) {
    case Unreachable::kReset:
      response.fault = testsupport::ScriptedResponse::Fault::ResetAtOnce;
      break;
    case Unreachable::kEmptyBody:
      response = testsupport::ScriptedResponse::Ok("");
      break;
    case Unreachable::kNoServer:
      break;
  }
  server.Route(book.IndexPath(), response);
  const std::string address = server.Url(book.IndexPath());
  if (GetParam() == Unreachable::kNoServer) server.Stop();

  std::atomic<bool> fetchEnabledAtNotice{true};
  notices.Script().Push([&](const NoticeRequest&) {
    fetchEnabledAtNotice = Window().View().按钮_获取章节标题.IsEnabled();
    return controls::kTimedOut;
  });
  SetAddress(address);
  Click(u"按钮_获取章节标题");
  ASSERT_TRUE(PumpUntil([&] { return !session->IndexFetchRunning(); }, 20000));

  EXPECT_EQ(Status(), QStringLiteral("章节获取失败，请重试！"));
  EXPECT_EQ(NoticesAsked(), (std::vector<Asked>{{"提示", "章节获取失败\r\n(3秒后自动关闭)", 3000, 16}}));
  EXPECT_FALSE(fetchEnabledAtNotice.load());
  EXPECT_TRUE(Enabled(u"按钮_获取章节标题"));
  EXPECT_TRUE(Rules().isEnabled());
  EXPECT_EQ(Table()->rowCount(), 0);
  EXPECT_EQ(Main<QLabel>(u"标签_书名")->text(), QString());
  EXPECT_EQ(Main<QLabel>(u"标签_作者")->text(), QString());
}

std::string FaultName(const testing::TestParamInfo<Unreachable>& info) {
  switch (info.param) {
    case Unreachable::kReset: return "ConnectionReset";
    case Unreachable::kEmptyBody: return "EmptyBody";
    case Unreachable::kNoServer: return "NoServer";
  }
  return "?";
}

INSTANTIATE_TEST_SUITE_P(Faults, IndexFetchFailure,
                         testing::Values(Unreachable::kReset, Unreachable::kEmptyBody, Unreachable::kNoServer),
                         FaultName);

}  // namespace
}  // namespace quill::app::e2e
