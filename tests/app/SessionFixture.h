#pragma once
// A whole program in a test: the real Session with both windows, the real
// request routine against a loopback server, and a scratch working
// directory. Notices are answered through the script, never by waiting.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QCheckBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "BookSite.h"
#include "GuiTestSupport.h"
#include "app/MainWindow.h"
#include "app/RulesWindow.h"
#include "app/Session.h"
#include "support/HttpTestServer.h"
#include "text/Codec.h"
#include "web/FetchTesting.h"

// Readable failures for Qt's strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace quill::app::e2e {

using namespace testing_support;

// Some waits happen inside the program's own handlers (a download run
// returns only when its chapters are done), out of reach of a test's
// deadline: this one ends the whole test program instead of letting it hang.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!stopped_.wait_for(lock, limit, [&] { return done_; })) {
            std::fprintf(stderr, "test still running after %lld s: aborting\n",
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    stopped_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool done_ = false;
  std::thread thread_;
};

inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// What a notice asked, in UTF-8 for readable failures.
struct Asked {
  std::string title, message;
  int timeoutMs, style;
  bool operator==(const Asked&) const = default;
};
inline void PrintTo(const Asked& a, std::ostream* os) {
  *os << "{" << a.title << ", " << a.message << ", " << a.timeoutMs << ", " << a.style << "}";
}

class SessionFixture : public testing::Test {
 protected:
  void SetUp() override {
    // A silent server costs a few tenths of a second per attempt, not minutes.
    web::NetworkLimits limits;
    limits.connectTimeoutMs = 3000;
    limits.stallTimeoutMs = 400;
    web::testing::SetLimits(limits);
    work = std::filesystem::path(root.Path()) / "outer" / "inner" / "work";
    std::filesystem::create_directories(work);
    session = std::make_unique<Session>(rules.store, notices, pump, work);
    Window().show();
    ASSERT_TRUE(PumpUntil([&] { return Window().isVisible(); }));
  }

  void TearDown() override {
    EXPECT_TRUE(PumpUntil([&] { return !session->IndexFetchRunning(); }, 20000));
    session.reset();
    web::testing::SetLimits({});
    EXPECT_EQ(notices.Script().Pending(), 0u) << "a notice the test expected never came";
  }

  MainWindow& Window() { return session->Window(); }
  RulesWindow& Rules() { return *Window().Rules(); }
  template <class T>
  T* Main(const char16_t* name) {
    return Find<T>(&Window(), QString::fromUtf16(name));
  }
  template <class T>
  T* InRules(const char16_t* name) {
    return Find<T>(&Rules(), QString::fromUtf16(name));
  }
  QTableWidget* Table() { return Main<QTableWidget>(u"超级列表框1"); }
  QString Status() { return Main<QLabel>(u"标签4")->text(); }
  bool Enabled(const char16_t* name) { return Main<QWidget>(name)->isEnabled(); }
  bool AutoMerge() { return Main<QCheckBox>(u"选择框1")->isChecked(); }
  QString Cell(int row, int column) { return Table()->item(row, column)->text(); }
  bool Checked(int row) { return Table()->item(row, 0)->checkState() == Qt::Checked; }

  void Click(const char16_t* name) { QTest::mouseClick(Main<QPushButton>(name), Qt::LeftButton); }

  // Shows the rules window with its toggle and picks a rule in its list, as
  // a user would.
  void UseRule(Shape shape) {
    const int row = static_cast<int>(shape);
    if (!Rules().isVisible()) Click(u"按钮_选择规则");
    ASSERT_TRUE(PumpUntil([&] { return Rules().isVisible(); }));
    QListWidget* list = Rules().List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    ASSERT_EQ(list->currentRow(), row);
    ASSERT_EQ(Rules().View().编辑框_网址.GetText(),
              row == 0 ? "http://www.vellowick.example/" : "http://www.marrowdene.example/");
  }

  void SetAddress(const std::string& address) { Main<QLineEdit>(u"编辑框1")->setText(Q(address)); }

  // Presses the fetch button and waits until the job has ended; its notice
  // is answered as if its three seconds had passed.
  void FetchIndex(const std::string& address) {
    SetAddress(address);
    notices.Script().Push([](const NoticeRequest&) { return controls::kTimedOut; });
    Click(u"按钮_获取章节标题");
    ASSERT_TRUE(PumpUntil([&] { return !session->IndexFetchRunning(); }, 30000));
    ASSERT_TRUE(Enabled(u"按钮_获取章节标题"));
  }

  // Answers the next notice with OK; `look` runs first, while it is shown.
  void AnswerNext(std::function<void(const NoticeRequest&)> look = {}) {
    notices.Script().Push([look](const NoticeRequest& r) {
      if (look) look(r);
      return controls::kIdOk;
    });
  }

  std::vector<Asked> NoticesAsked() {
    std::vector<Asked> asked;
    for (const NoticeRequest& r : notices.Script().Asked())
      asked.push_back({text::Utf8(r.title), text::Utf8(r.message), r.timeoutMs, r.style});
    return asked;
  }

  // Files (not directories) anywhere under `dir`, relative to it.
  static std::vector<std::string> FilesUnder(const std::filesystem::path& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
      if (!entry.is_directory()) files.push_back(std::filesystem::relative(entry.path(), dir).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::filesystem::path BookDirectory(const Book& book) const { return work / text::Utf8(book.ShownTitle()); }
  std::filesystem::path BookFilePath(const Book& book) const {
    return work / (text::Utf8(book.ShownTitle()) + "(" + text::Utf8(book.ShownAuthor()) + ").txt");
  }

  testsupport::TempDir root;
  std::filesystem::path work;
  ScratchRules rules;
  QtNotices notices;
  QtMessagePump pump;
  std::unique_ptr<Session> session;
  testsupport::HttpTestServer server;
  Watchdog watchdog{std::chrono::seconds(240)};
};

}  // namespace quill::app::e2e
