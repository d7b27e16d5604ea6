#include "app/Notices.h"

#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "app/InputBox.h"
#include "text/Codec.h"

namespace quill::app {
namespace {

using namespace testing_support;
using text::Cp936;

QList<QMessageBox::StandardButton> ButtonsOf(QMessageBox* box) {
  QList<QMessageBox::StandardButton> buttons;
  for (QAbstractButton* b : box->buttons()) buttons.push_back(box->standardButton(b));
  std::sort(buttons.begin(), buttons.end());
  return buttons;
}

struct StyleCase {
  int style;
  QMessageBox::Icon icon;
  QList<QMessageBox::StandardButton> buttons;  // in ascending enum order
  QMessageBox::StandardButton pressed;
  int result;
};

void PrintTo(const StyleCase& c, std::ostream* os) { *os << "style " << c.style << " result " << c.result; }

class NoticeStyleTest : public testing::TestWithParam<StyleCase> {};

// Time-out 0: the box waits for the button, which the test presses.
TEST_P(NoticeStyleTest, ShowsItsButtonsAndIconAndReturnsThePressedOne) {
  const StyleCase& c = GetParam();
  QtNotices notices;
  bool seen = false;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    seen = true;
    EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
    EXPECT_EQ(box->text(), QStringLiteral("小说章节名获取完毕\n(3秒后自动关闭)"));
    EXPECT_EQ(box->icon(), c.icon);
    EXPECT_EQ(ButtonsOf(box), c.buttons);
    QTest::mouseClick(box->button(c.pressed), Qt::LeftButton);
  });
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("提示"), Cp936("小说章节名获取完毕\r\n(3秒后自动关闭)"), 0, c.style),
            c.result);
  EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, NoticeStyleTest,
    testing::Values(StyleCase{16, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::Ok, 1},
                    StyleCase{64, QMessageBox::Information, {QMessageBox::Ok}, QMessageBox::Ok, 1},
                    StyleCase{35, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
                              QMessageBox::Cancel, 2},
                    StyleCase{35, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
                              QMessageBox::No, 7},
                    StyleCase{36, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No},
                              QMessageBox::Yes, 6},
                    StyleCase{36, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No},
                              QMessageBox::No, 7}));

TEST(Notices, AQuestionLeftUnansweredReturns32000AndCloses) {
  QtNotices notices;
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("修改询问"), Cp936("是否修改规则名？"), 150, 36), 32000);
  EXPECT_GE(clock.elapsed(), 150);
  EXPECT_TRUE(PumpUntil([] { return OpenDialog<QMessageBox>() == nullptr; }, 2000));
}

TEST(Notices, TimeOutZeroKeepsTheBoxUpUntilAnswered) {
  QtNotices notices;
  QPointer<QMessageBox> shown;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    shown = box;
    QTimer::singleShot(400, box, [box] { QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton); });
  });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("提示"), Cp936("章节内容已下载完毕"), 0, 64), 1);
  EXPECT_GE(clock.elapsed(), 400);
}

TEST(Notices, OnTheGuiThreadTheBoxIsModalToTheActiveWindow) {
  QWidget owner;
  owner.show();
  owner.activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &owner; }));
  QtNotices notices;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    EXPECT_EQ(box->parentWidget(), &owner);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(QApplication::activeModalWidget(), box);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("提示"), Cp936("合并失败,请手动重新合并"), 0, 16), 1);
}

TEST(Notices, WithoutAnActiveWindowTheBoxStandsAlone) {
  ASSERT_EQ(QApplication::activeWindow(), nullptr);
  QtNotices notices;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("提示"), Cp936("整本小说下载完毕"), 0, 64), 1);
}

// Esc gives the answer that leaves things as they are.
TEST(Notices, EscAnswersCancelOrNo) {
  QtNotices notices;
  WhenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("确认提醒"), Cp936("请确认是否增加规则"), 0, 35), 2);
  WhenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("修改询问"), Cp936("是否修改规则名？"), 0, 36), 7);
}

// The first box may still be the active window, hidden but not yet
// deleted, when the next one opens; the next one must not go down with it.
TEST(Notices, AQuestionRightAfterAnotherGetsItsOwnAnswer) {
  QWidget owner;
  owner.show();
  owner.activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &owner; }));
  QtNotices notices;
  for (int answer : {6, 7, 6}) {
    WhenShown<QMessageBox>([answer](QMessageBox* box) {
      box->activateWindow();
      QCoreApplication::processEvents();
      box->button(answer == 6 ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    EXPECT_EQ(notices.ShowTimedNotice(Cp936("修改询问"), Cp936("是否修改规则名？"), 0, 36), answer);
  }
}

TEST(Notices, ScriptedAnswersSkipTheBoxAndRecordTheRequest) {
  QtNotices notices;
  notices.AnswerNext(6);
  EXPECT_EQ(notices.ShowTimedNotice(Cp936("修改询问"), Cp936("是否"), 5000, 36), 6);
  ASSERT_EQ(notices.Script().Asked().size(), 1u);
  EXPECT_EQ(notices.Script().Asked()[0].title, Cp936("修改询问"));
  EXPECT_EQ(notices.Script().Asked()[0].timeoutMs, 5000);
  EXPECT_EQ(notices.Script().Asked()[0].style, 36);
  EXPECT_EQ(notices.Script().Pending(), 0u);
}

// ---- the input box

QPushButton* ButtonCaptioned(QDialog* dialog, const QString& caption) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == caption) return b;
  }
  return nullptr;
}

struct InputCase {
  const char* what;
  bool confirm;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.what; }

class InputBoxTest : public testing::TestWithParam<InputCase> {};

TEST_P(InputBoxTest, IsAModalOneLineBoxOwnedByItsWindow) {
  QWidget owner;
  owner.show();
  QtInputBox input(&owner);
  WhenShown<QInputDialog>([&](QInputDialog* dialog) {
    EXPECT_EQ(dialog->parentWidget(), &owner);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("输入名称"));
    EXPECT_EQ(dialog->labelText(), QStringLiteral("请输入列表框称：\n（不含空格）"));
    EXPECT_EQ(dialog->textValue(), QStringLiteral("新规则名称"));
    EXPECT_EQ(dialog->findChildren<QLineEdit*>().size(), 1);
    QPushButton* ok = ButtonCaptioned(dialog, QStringLiteral("确认输入(&O)"));
    QPushButton* cancel = ButtonCaptioned(dialog, QStringLiteral("取消(&C)"));
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    dialog->setTextValue(QStringLiteral("起点 站"));
    QTest::mouseClick(GetParam().confirm ? ok : cancel, Qt::LeftButton);
  });
  std::string answer = "unchanged";
  const bool confirmed =
      input.Ask(Cp936("请输入列表框称：\r\n（不含空格）"), Cp936("输入名称"), Cp936("新规则名称"), answer);
  EXPECT_EQ(confirmed, GetParam().confirm);
  EXPECT_EQ(answer, GetParam().confirm ? Cp936("起点 站") : "unchanged");
}

INSTANTIATE_TEST_SUITE_P(Answers, InputBoxTest,
                         testing::Values(InputCase{"confirmed", true}, InputCase{"cancelled", false}));

}  // namespace
}  // namespace quill::app
