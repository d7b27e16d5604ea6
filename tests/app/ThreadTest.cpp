// Control operations and notices called from background threads while the
// GUI thread keeps processing events.
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "GuiTestSupport.h"
#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/RulesWindow.h"
#include "text/Codec.h"

namespace quill::app {
namespace {

using namespace testing_support;
using text::Cp936;

class BackgroundTest : public testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<MainWindow>(rules.store, notices, pump);
    window->show();
  }
  void TearDown() override {
    if (worker.joinable()) worker.join();
    window.reset();
  }
  // The GUI thread waits the way the download run does, in slices of
  // PumpingWait, until the worker is done (or a deadline passes).
  bool WaitForWorker(int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done.load()) {
      if (clock.elapsed() > ms) return false;
      pump.PumpingWait(20, 0);
    }
    worker.join();
    return true;
  }

  ScratchRules rules;
  QtNotices notices;
  QtMessagePump pump;
  std::unique_ptr<MainWindow> window;
  std::thread worker;
  std::atomic<bool> done{false};
};

TEST_F(BackgroundTest, OperationsArriveInOrderOnTheGuiThread) {
  auto* table = window->findChild<QTableWidget*>(QStringLiteral("超级列表框1"));
  auto* status = window->findChild<QLabel*>(QStringLiteral("标签4"));
  std::vector<QString> statusSeen;
  bool offGuiThread = false;
  QObject::connect(table->model(), &QAbstractItemModel::rowsInserted, [&] {
    offGuiThread = offGuiThread || QThread::currentThread() != QCoreApplication::instance()->thread();
    statusSeen.push_back(status->text());
  });

  constexpr int kRows = 200;
  controls::MainWindowView& view = window->View();
  std::vector<int> indexes;
  std::vector<std::string> readBack;
  worker = std::thread([&] {
    for (int i = 0; i < kRows; ++i) {
      view.标签4.SetCaption("row " + std::to_string(i));
      indexes.push_back(view.超级列表框1.AppendRow(std::to_string(i + 1)));
      view.超级列表框1.SetCell(i, 3, Cp936("等待下载"));
      view.超级列表框1.SetStateImage(i, 1);
      readBack.push_back(view.超级列表框1.Cell(i, 0));
    }
    done = true;
  });
  ASSERT_TRUE(WaitForWorker());

  ASSERT_EQ(table->rowCount(), kRows);
  EXPECT_FALSE(offGuiThread);
  for (int i = 0; i < kRows; ++i) {
    EXPECT_EQ(indexes[i], i);
    EXPECT_EQ(readBack[i], std::to_string(i + 1));
    EXPECT_EQ(table->item(i, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(table->item(i, 3)->text(), QStringLiteral("等待下载"));
    // Each row was added after the caption set just before it.
    EXPECT_EQ(statusSeen[i], QStringLiteral("row %1").arg(i));
  }
}

TEST_F(BackgroundTest, SeveralThreadsEachKeepTheirOrder) {
  controls::ChapterTable& table = window->View().超级列表框1;
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) table.AppendRow(std::to_string(t) + ":" + std::to_string(i));
    });
  }
  worker = std::thread([&] {
    for (auto& t : threads) t.join();
    done = true;
  });
  ASSERT_TRUE(WaitForWorker());
  std::vector<int> next(kThreads, 0);
  ASSERT_EQ(table.RowCount(), kThreads * kEach);
  for (int row = 0; row < table.RowCount(); ++row) {
    const std::string cell = table.Cell(row, 0);
    const int t = cell[0] - '0';
    EXPECT_EQ(cell.substr(2), std::to_string(next[t]++)) << "thread " << t;
  }
}

// The box from a background thread blocks only that thread: meanwhile the
// user can still work the main window.
TEST_F(BackgroundTest, ANoticeFromAnotherThreadLeavesTheWindowsUsable) {
  auto* autoMerge = window->findChild<QCheckBox*>(QStringLiteral("选择框1"));
  auto* merge = window->findChild<QPushButton*>(QStringLiteral("按钮_合并"));
  int result = -1;
  worker = std::thread([&] {
    result = notices.ShowTimedNotice(Cp936("提示"), Cp936("小说章节名获取完毕\r\n(3秒后自动关闭)"), 0, 64);
    done = true;
  });
  QPointer<QMessageBox> box;
  ASSERT_TRUE(PumpUntil([&] { return (box = OpenDialog<QMessageBox>()) != nullptr; }));
  EXPECT_EQ(box->parentWidget(), nullptr);
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  EXPECT_EQ(box->text(), QStringLiteral("小说章节名获取完毕\n(3秒后自动关闭)"));

  QTest::mouseClick(autoMerge, Qt::LeftButton, {}, QPoint(6, autoMerge->height() / 2));
  EXPECT_TRUE(merge->isEnabled());
  EXPECT_FALSE(done.load());

  QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  ASSERT_TRUE(WaitForWorker());
  EXPECT_EQ(result, 1);
}

TEST_F(BackgroundTest, AnUnansweredNoticeFromAnotherThreadTimesOut) {
  int result = -1;
  worker = std::thread([&] {
    result = notices.ShowTimedNotice(Cp936("提示"), Cp936("章节获取失败\r\n(3秒后自动关闭)"), 200, 16);
    done = true;
  });
  ASSERT_TRUE(WaitForWorker());
  EXPECT_EQ(result, 32000);
  EXPECT_TRUE(PumpUntil([] { return OpenDialog<QMessageBox>() == nullptr; }, 2000));
}

// A caller still waiting when the dispatcher goes is released, not left hanging.
TEST_F(BackgroundTest, ACallerIsReleasedWhenTheDispatcherGoes) {
  auto dispatcher = std::make_unique<GuiThread>();
  GuiThread* raw = dispatcher.get();
  controls::Label& status = window->View().标签4;
  status.SetCaption("before");
  worker = std::thread([&] {
    status.SetCaption("dropped");
    done = true;
  });
  // Not processing events here, so the call stays queued.
  QElapsedTimer clock;
  clock.start();
  while (raw->Queued() == 0 && clock.elapsed() < 5000) QThread::msleep(1);
  ASSERT_EQ(raw->Queued(), 1u);
  dispatcher.reset();
  while (!done.load() && clock.elapsed() < 10000) QThread::msleep(1);
  ASSERT_TRUE(done.load());
  worker.join();
  EXPECT_EQ(status.Caption(), "before");
  // The program's own dispatcher is back in charge.
  worker = std::thread([&] { status.SetCaption("after"); });
  EXPECT_TRUE(PumpUntil([&] { return status.Caption() == "after"; }));
}

}  // namespace
}  // namespace quill::app
