#include "app/MainWindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "app/Notices.h"
#include "app/Pump.h"
#include "app/RulesWindow.h"
#include "app/Widgets.h"
#include "text/Codec.h"

namespace quill::app {
namespace {

using namespace testing_support;
using text::Cp936;

class MainWindowTest : public testing::Test {
 public:
  void SetUp() override {
    window = std::make_unique<MainWindow>(rules.store, notices, pump);
    window->show();
    ASSERT_TRUE(PumpUntil([&] { return window->isVisible(); }));
  }
  void TearDown() override { window.reset(); }

  RulesWindow& Rules() { return *window->Rules(); }
  template <class T>
  T* Main(const char16_t* name) {
    return Find<T>(window.get(), QString::fromUtf16(name));
  }
  void ClickCheckBox() {
    QCheckBox* box = Main<QCheckBox>(u"选择框1");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }

  ScratchRules rules;
  QtNotices notices;
  QtMessagePump pump;
  std::unique_ptr<MainWindow> window;
};

// ---- the window definitions

struct ControlCase {
  bool inRules;
  const char16_t* name;
  const char* className;
  QRect place;
  const char16_t* text;
  bool hidden = false;
  bool enabled = true;
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << QString::fromUtf16(c.name).toStdString(); }

class ControlLayoutTest : public MainWindowTest, public testing::WithParamInterface<ControlCase> {};

QString TextOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  return QString();
}

TEST_P(ControlLayoutTest, IsPlacedAsDefined) {
  const ControlCase& c = GetParam();
  QWidget* root = c.inRules ? static_cast<QWidget*>(&Rules()) : window.get();
  QWidget* w = Find<QWidget>(root, QString::fromUtf16(c.name));
  ASSERT_NE(w, nullptr);
  EXPECT_STREQ(w->metaObject()->className(), c.className);
  EXPECT_EQ(w->geometry(), c.place);
  if (c.text) {
    EXPECT_EQ(TextOf(w), QString::fromUtf16(c.text));
  }
  EXPECT_EQ(w->isHidden(), c.hidden);
  EXPECT_EQ(w->isEnabled(), c.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, ControlLayoutTest,
    testing::Values(
        ControlCase{false, u"编辑框1", "QLineEdit", {101, 8, 392, 20}, nullptr},
        ControlCase{false, u"按钮_选择规则", "QPushButton", {408, 32, 85, 32}, u"规则设定>>>"},
        ControlCase{false, u"标签_书名", "QLabel", {60, 39, 164, 24}, u""},
        ControlCase{false, u"标签_作者", "QLabel", {284, 39, 116, 24}, u""},
        ControlCase{false, u"标签4", "QLabel", {16, 72, 472, 24}, u""},
        ControlCase{false, u"超级列表框1", "QTableWidget", {13, 102, 480, 216}, u""},
        ControlCase{false, u"编辑框2", "QLineEdit", {56, 158, 392, 20}, u"", true},
        ControlCase{false, u"按钮_获取章节标题", "QPushButton", {26, 330, 80, 32}, u"获取章节标题"},
        ControlCase{false, u"按钮_下载章节内容", "QPushButton", {147, 330, 80, 32}, u"下载章节内容"},
        ControlCase{false, u"选择框1", "QCheckBox", {254, 335, 128, 24}, u"下载完成后自动合并"},
        ControlCase{false, u"按钮_合并", "QPushButton", {400, 329, 80, 32}, u"合并成全本", false, false},
        ControlCase{true, u"列表框1", "QListWidget", {8, 12, 128, 278}, u""},
        ControlCase{true, u"编辑框_网址", "QLineEdit", {200, 13, 194, 20}, nullptr},
        ControlCase{true, u"编辑框_列表正则", "QPlainTextEdit", {208, 38, 186, 50}, nullptr},
        ControlCase{true, u"编辑框_小说名正则", "QPlainTextEdit", {208, 93, 186, 50}, nullptr},
        ControlCase{true, u"编辑框_小说作者正则", "QPlainTextEdit", {208, 148, 186, 50}, nullptr},
        ControlCase{true, u"编辑框_章节内容左", "QLineEdit", {226, 203, 168, 20}, nullptr},
        ControlCase{true, u"编辑框_章节内容右", "QLineEdit", {226, 232, 168, 20}, nullptr},
        ControlCase{true, u"按钮_修改", "QPushButton", {153, 259, 72, 32}, u"修改规则名"},
        ControlCase{true, u"按钮_增加", "QPushButton", {245, 259, 60, 32}, u"增加"},
        ControlCase{true, u"按钮_删除", "QPushButton", {326, 259, 60, 32}, u"删除"}));

// Labels with captions keep their place and grow only where the font needs it.
TEST_F(MainWindowTest, CaptionLabelsStartAtTheirPlaceAndShowTheirWholeText) {
  struct LabelCase {
    bool inRules;
    const char16_t* text;
    QRect place;
  };
  const LabelCase cases[] = {
      {false, u"章节列表网址：", {13, 8, 80, 24}}, {false, u"小说：", {14, 39, 44, 24}},
      {false, u"作者：", {242, 39, 38, 24}},       {true, u"网    址", {143, 12, 56, 24}},
      {true, u"章节列表\n正则表达式", {143, 52, 64, 24}},
      {true, u"小说名称\n正则表达式", {143, 105, 64, 24}},
      {true, u"小说作者\n正则表达式", {143, 159, 64, 24}},
      {true, u"章节内容左侧", {143, 201, 78, 24}},  {true, u"章节内容右侧", {143, 229, 78, 24}}};
  for (const LabelCase& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    QWidget* root = c.inRules ? static_cast<QWidget*>(&Rules()) : window.get();
    QLabel* found = nullptr;
    for (QLabel* label : root->findChildren<QLabel*>()) {
      if (label->text() == text) found = label;
    }
    ASSERT_NE(found, nullptr) << text.toStdString();
    EXPECT_EQ(found->pos(), c.place.topLeft()) << text.toStdString();
    EXPECT_GE(found->width(), std::max(c.place.width(), found->sizeHint().width()));
    EXPECT_GE(found->height(), std::max(c.place.height(), found->sizeHint().height()));
  }
}

TEST_F(MainWindowTest, WindowsHaveTheirCaptionsPlacesAndOuterSizes) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmere V1.3 By：Tessaly"));
  EXPECT_EQ(Rules().windowTitle(), QStringLiteral("规则设置"));
  EXPECT_EQ(Rules().objectName(), QStringLiteral("RualWin"));
  // Off screen there is no frame, so the outer size is the client size.
  EXPECT_EQ(window->frameGeometry(), QRect(50, 50, 514, 400));
  EXPECT_EQ(Rules().frameGeometry().size(), QSize(405, 301));
}

// ---- enabled states of the main window

struct MainStateCase {
  const char* what;
  std::function<void(MainWindowTest&)> act;
  bool mergeEnabled, autoMergeChecked;
};

void PrintTo(const MainStateCase& c, std::ostream* os) { *os << c.what; }

class MainStateTest : public MainWindowTest, public testing::WithParamInterface<MainStateCase> {
 public:
  static void ClickAutoMerge(MainWindowTest& t) { t.ClickCheckBox(); }
};

TEST_P(MainStateTest, ControlsAreEnabledAsTheMomentSays) {
  const MainStateCase& c = GetParam();
  if (c.act) c.act(*this);
  EXPECT_TRUE(Main<QPushButton>(u"按钮_获取章节标题")->isEnabled());
  EXPECT_TRUE(Main<QPushButton>(u"按钮_下载章节内容")->isEnabled());
  EXPECT_EQ(Main<QPushButton>(u"按钮_合并")->isEnabled(), c.mergeEnabled);
  EXPECT_TRUE(Main<QCheckBox>(u"选择框1")->isEnabled());
  EXPECT_EQ(Main<QCheckBox>(u"选择框1")->isChecked(), c.autoMergeChecked);
  EXPECT_FALSE(Rules().isVisible());
  EXPECT_TRUE(Rules().isEnabled());
  EXPECT_EQ(Main<QPushButton>(u"按钮_选择规则")->text(), QStringLiteral("规则设定>>>"));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, MainStateTest,
    testing::Values(
        MainStateCase{"start", nullptr, false, true},
        MainStateCase{"auto merge unchecked by the user", &MainStateTest::ClickAutoMerge, true, false},
        MainStateCase{"auto merge checked again",
                      [](MainWindowTest& t) {
                        MainStateTest::ClickAutoMerge(t);
                        MainStateTest::ClickAutoMerge(t);
                      },
                      false, true},
        // The program's own setting raises no click, so the merge button stays.
        MainStateCase{"auto merge unchecked by the program",
                      [](MainWindowTest& t) {
                        t.window->View().选择框1.SetChecked(false);
                      },
                      false, false}));

// ---- the rules window beside the main window

TEST_F(MainWindowTest, RulesWindowFollowsTheMainWindowShownOrNot) {
  const auto expected = [&] {
    const QRect main = window->frameGeometry();
    return QPoint(main.left() + main.width() + 5, main.top() + 40);
  };
  EXPECT_EQ(Rules().pos(), QPoint(50 + 514 + 5, 50 + 40));

  window->move(120, 70);
  EXPECT_TRUE(PumpUntil([&] { return Rules().pos() == QPoint(120 + 514 + 5, 110); }))
      << "hidden rules window not moved";

  QPushButton* toggle = Main<QPushButton>(u"按钮_选择规则");
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_TRUE(Rules().isVisible());
  EXPECT_EQ(toggle->text(), QStringLiteral("<<<规则设定"));
  EXPECT_EQ(Rules().frameGeometry().topLeft(), expected());

  window->move(30, 200);
  EXPECT_TRUE(PumpUntil([&] { return Rules().frameGeometry().topLeft() == QPoint(30 + 514 + 5, 240); }));
  window->setFixedSize(600, 420);
  EXPECT_TRUE(PumpUntil([&] { return window->frameGeometry().width() > 514; }));
  EXPECT_TRUE(PumpUntil([&] { return Rules().frameGeometry().topLeft() == expected(); }))
      << "not moved on resize";

  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_FALSE(Rules().isVisible());
  EXPECT_EQ(toggle->text(), QStringLiteral("规则设定>>>"));
}

TEST_F(MainWindowTest, RulesWindowRefusesToClose) {
  window->ToggleRulesWindow();
  EXPECT_FALSE(Rules().close());
  EXPECT_TRUE(Rules().isVisible());
}

TEST_F(MainWindowTest, ShutDownWaitsFirstThenTheRulesWindowGoes) {
  QPointer<QWidget> rulesWindow = &Rules();
  std::vector<std::string> steps;
  window->onShutdown = [&] {
    steps.push_back(rulesWindow ? "shut-down with rules window" : "shut-down without rules window");
  };
  window->onClosed = [&] { steps.push_back("closed"); };
  EXPECT_TRUE(window->close());
  // A second request while shutting down does not run the steps again.
  window->close();
  EXPECT_EQ(steps, (std::vector<std::string>{"shut-down with rules window", "closed"}));
  EXPECT_FALSE(window->isVisible());
  window->DestroyRulesWindow();
  EXPECT_TRUE(rulesWindow.isNull());
  EXPECT_EQ(window->Rules(), nullptr);
}

TEST_F(MainWindowTest, ActionButtonsCallTheirInstalledHandlers) {
  std::vector<std::string> pressed;
  window->onFetch = [&] { pressed.push_back("fetch"); };
  window->onDownload = [&] { pressed.push_back("download"); };
  window->onMerge = [&] { pressed.push_back("merge"); };
  ClickCheckBox();  // the merge button starts disabled
  QTest::mouseClick(Main<QPushButton>(u"按钮_获取章节标题"), Qt::LeftButton);
  QTest::mouseClick(Main<QPushButton>(u"按钮_下载章节内容"), Qt::LeftButton);
  QTest::mouseClick(Main<QPushButton>(u"按钮_合并"), Qt::LeftButton);
  EXPECT_EQ(pressed, (std::vector<std::string>{"fetch", "download", "merge"}));
}

// Records the text a label shows each time it is painted.
class PaintWatcher : public QObject {
 public:
  explicit PaintWatcher(QLabel* label) : label_(label) { label->installEventFilter(this); }
  std::vector<QString> painted;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == label_ && event->type() == QEvent::Paint) painted.push_back(label_->text());
    return false;
  }

 private:
  QLabel* label_;
};

// Paints are held to one a frame; a change that comes right after a paint
// still reaches the screen once the frame is over.
TEST_F(MainWindowTest, AChangeRightAfterAPaintIsPaintedWhenTheFrameEnds) {
  QLabel* status = Main<QLabel>(u"标签4");
  PaintWatcher watcher(status);
  for (const QString& text : {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}) {
    status->setText(text);
    ASSERT_TRUE(PumpUntil([&] { return !watcher.painted.empty() && watcher.painted.back() == text; }, 3000))
        << text.toStdString();
  }
}

// ---- start-up and the rule file

TEST_F(MainWindowTest, StartUpCreatesTheRuleFileListsTheRulesAndShowsTheFirst) {
  EXPECT_EQ(rules.Bytes(), rules::RuleStore::DefaultFileBytes());
  controls::RulesWindowView& view = Rules().View();
  // The sample address is a book of the first default site.
  EXPECT_EQ(window->View().编辑框1.GetText().rfind(rules.store.ReadAt(1).siteAddress, 0), 0u);
  const std::vector<std::string> names = rules.store.ListNames();
  ASSERT_EQ(view.列表框1.Count(), static_cast<int>(names.size()));
  for (int i = 0; i < view.列表框1.Count(); ++i) {
    EXPECT_EQ(view.列表框1.ItemText(i), names[i]);
    EXPECT_EQ(view.列表框1.ItemValue(i), 0);
  }
  EXPECT_EQ(view.列表框1.CurrentIndex(), 0);
  const rules::SiteRule first = rules.store.ReadAt(1);
  EXPECT_EQ(view.编辑框_网址.GetText(), first.siteAddress);
  EXPECT_EQ(view.编辑框_列表正则.GetText(), first.chapterListPattern);
  EXPECT_EQ(view.编辑框_小说名正则.GetText(), first.titlePattern);
  EXPECT_EQ(view.编辑框_小说作者正则.GetText(), first.authorPattern);
  EXPECT_EQ(view.编辑框_章节内容左.GetText(), first.contentLeft);
  EXPECT_EQ(view.编辑框_章节内容右.GetText(), first.contentRight);
}

TEST(MainWindowStartUp, LeavesAnUnreadableRuleFileAloneAndShowsNothing) {
  ScratchRules rules;
  const std::string broken = "<小说站点><未闭合>";
  WriteBytes(rules.file, broken);
  QtNotices notices;
  QtMessagePump pump;
  MainWindow window(rules.store, notices, pump);
  RulesWindow& r = *window.Rules();
  EXPECT_EQ(r.List()->count(), 0);
  EXPECT_TRUE(r.Editor().BoxOf(rules::RuleField::siteAddress).GetText().empty());
  EXPECT_TRUE(r.Editor().BoxOf(rules::RuleField::titlePattern).GetText().empty());
  QTest::keyClicks(r.Box(rules::RuleField::contentLeft), QStringLiteral("x"));
  EXPECT_EQ(rules.Bytes(), broken);
}

// ---- the chapter table

TEST_F(MainWindowTest, ChapterTableIsACheckedReportList) {
  auto* table = Main<QTableWidget>(u"超级列表框1");
  ASSERT_EQ(table->columnCount(), 4);
  const char16_t* headers[] = {u"选择", u"章节名", u"章节网址", u"下载状态"};
  const int widths[] = {70, 300, 0, 80};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(table->horizontalHeaderItem(c)->text(), QString::fromUtf16(headers[c]));
    EXPECT_EQ(table->columnWidth(c), widths[c]);
    EXPECT_FALSE(table->isColumnHidden(c));
  }
  EXPECT_FALSE(table->horizontalHeader()->sectionsClickable());
  EXPECT_FALSE(table->isSortingEnabled());
  EXPECT_TRUE(table->showGrid());
  EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(table->palette().color(QPalette::Inactive, QPalette::Highlight),
            table->palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(table->font().pixelSize(), 14);
  EXPECT_EQ(table->font().weight(), QFont::Normal);
  EXPECT_EQ(QFontInfo(table->font()).family(), ChineseFamily());
  EXPECT_TRUE(QFontMetrics(table->font()).inFontUcs4(U'章'));
}

TEST_F(MainWindowTest, ChapterTableOperations) {
  controls::ChapterTable& t = window->View().超级列表框1;
  auto* table = Main<QTableWidget>(u"超级列表框1");
  EXPECT_EQ(t.AppendRow("1"), 0);
  EXPECT_EQ(t.AppendRow("2"), 1);
  EXPECT_EQ(t.RowCount(), 2);
  t.SetCell(1, 1, Cp936("第二章"));
  t.SetCell(1, 2, "/2.html");
  t.SetCell(1, 3, Cp936("等待下载"));
  EXPECT_EQ(t.Cell(1, 0), "2");
  EXPECT_EQ(t.Cell(1, 1), Cp936("第二章"));
  EXPECT_EQ(t.Cell(1, 2), "/2.html");
  EXPECT_EQ(table->item(1, 3)->text(), QStringLiteral("等待下载"));
  EXPECT_EQ(table->item(1, 3)->textAlignment(), Qt::AlignCenter);
  EXPECT_EQ(t.Cell(5, 1), "");
  EXPECT_EQ(t.StateImage(0), 0);
  t.SetStateImage(0, 1);
  EXPECT_EQ(t.StateImage(0), 1);

  // The user toggles a row's box by clicking it.
  t.SetStateImage(1, 1);
  QStyleOptionViewItem option;
  option.initFrom(table->viewport());
  option.rect = table->visualItemRect(table->item(1, 0));
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = QStringLiteral("2");
  const QRect box = table->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, table);
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, box.center());
  EXPECT_EQ(t.StateImage(1), 0);

  t.SelectRow(1);
  EXPECT_EQ(table->currentRow(), 1);
  EXPECT_EQ(table->selectionModel()->selectedRows().size(), 1);
  t.ScrollTo(1);
  t.Clear();
  EXPECT_EQ(t.RowCount(), 0);
  EXPECT_EQ(t.AppendRow("1"), 0);
}

TEST_F(MainWindowTest, TextsCrossTheAdaptersAsCodePage936) {
  controls::MainWindowView& v = window->View();
  v.标签4.SetCaption(Cp936("正在获取小说章节名，请稍等..."));
  EXPECT_EQ(Main<QLabel>(u"标签4")->text(), QStringLiteral("正在获取小说章节名，请稍等..."));
  EXPECT_EQ(v.标签4.Caption(), Cp936("正在获取小说章节名，请稍等..."));
  // A text ends at its first zero byte.
  v.标签_书名.SetCaption(std::string("abc\0def", 7));
  EXPECT_EQ(v.标签_书名.Caption(), "abc");
  // What code page 936 cannot hold comes back as '?'.
  Main<QLineEdit>(u"编辑框1")->setText(QStringLiteral("网址ก"));
  EXPECT_EQ(v.编辑框1.GetText(), Cp936("网址") + "?");
}

}  // namespace
}  // namespace quill::app
