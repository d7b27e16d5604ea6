#include "app/RulesWindow.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

#include "GuiTestSupport.h"
#include "app/MainWindow.h"
#include "text/Codec.h"

namespace quill::app {
namespace {

using namespace testing_support;
using rules::RuleField;
using rules::SiteRule;
using text::Cp936;
using Names = std::vector<std::string>;

constexpr RuleField kAllFields[] = {RuleField::siteAddress,  RuleField::chapterListPattern,
                                    RuleField::titlePattern, RuleField::authorPattern,
                                    RuleField::contentLeft,  RuleField::contentRight};

const std::string& Field(const SiteRule& r, RuleField f) {
  switch (f) {
    case RuleField::siteAddress: return r.siteAddress;
    case RuleField::chapterListPattern: return r.chapterListPattern;
    case RuleField::titlePattern: return r.titlePattern;
    case RuleField::authorPattern: return r.authorPattern;
    case RuleField::contentLeft: return r.contentLeft;
    case RuleField::contentRight: return r.contentRight;
  }
  return r.name;
}

class RulesWindowTest : public testing::Test {
 public:
  void SetUp() override {
    window = std::make_unique<MainWindow>(rules.store, notices, pump);
    window->show();
    window->ToggleRulesWindow();
    ASSERT_TRUE(PumpUntil([&] { return R().isVisible(); }));
    defaults = rules.Bytes();
    first = rules.store.ReadAt(1);
    second = rules.store.ReadAt(2);
  }
  void TearDown() override { window.reset(); }

  RulesWindow& R() { return *window->Rules(); }
  controls::RulesWindowView& V() { return R().View(); }
  QListWidget* List() { return R().List(); }
  QPushButton* Button(const char16_t* name) { return Find<QPushButton>(&R(), QString::fromUtf16(name)); }
  void Click(const char16_t* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
  void ClickEntry(int row) {
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualItemRect(List()->item(row)).center());
  }
  // Typed as a person types: one key event per character, whatever script.
  void Type(RuleField field, const QString& keys) {
    QWidget* box = R().Box(field);
    if (auto* line = qobject_cast<QLineEdit*>(box)) line->end(false);
    if (auto* tall = qobject_cast<QPlainTextEdit*>(box)) tall->moveCursor(QTextCursor::End);
    for (QChar ch : keys) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(box, &press);
      QCoreApplication::sendEvent(box, &release);
    }
  }
  Names ListTexts() {
    Names names;
    for (int i = 0; i < V().列表框1.Count(); ++i) names.push_back(V().列表框1.ItemText(i));
    return names;
  }
  // The rule the six boxes hold (no name).
  SiteRule Shown() {
    const auto box = [&](RuleField f) { return R().Editor().BoxOf(f).GetText(); };
    return {"",
            box(RuleField::siteAddress),
            box(RuleField::chapterListPattern),
            box(RuleField::titlePattern),
            box(RuleField::authorPattern),
            box(RuleField::contentLeft),
            box(RuleField::contentRight)};
  }
  static SiteRule Unnamed(SiteRule r) {
    r.name.clear();
    return r;
  }
  void AnswerInput(std::optional<std::string> utf8) {
    R().Input().AnswerNext(utf8 ? std::optional<std::string>(Cp936(*utf8)) : std::nullopt);
  }
  QString AddCaption() { return Button(u"按钮_增加")->text(); }

  ScratchRules rules;
  QtNotices notices;
  QtMessagePump pump;
  std::unique_ptr<MainWindow> window;
  std::string defaults;
  SiteRule first, second;
};

// ---- selection and edits

TEST_F(RulesWindowTest, TheUsersSelectionShowsThatRuleAndWritesNothing) {
  ClickEntry(1);
  EXPECT_EQ(V().列表框1.CurrentIndex(), 1);
  EXPECT_EQ(Shown(), Unnamed(second));
  QTest::keyClick(List(), Qt::Key_Up);
  EXPECT_EQ(V().列表框1.CurrentIndex(), 0);
  EXPECT_EQ(Shown(), Unnamed(first));
  EXPECT_EQ(rules.Bytes(), defaults);

  // A Windows list box never loses its selection to a click.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(5, List()->viewport()->height() - 3));
  EXPECT_EQ(V().列表框1.CurrentIndex(), 0);
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    List()->visualItemRect(List()->item(0)).center());
  EXPECT_EQ(V().列表框1.CurrentIndex(), 0);
}

TEST_F(RulesWindowTest, TheProgramsOwnSelectionAndTextsWriteAndShowNothing) {
  V().列表框1.Select(1);
  EXPECT_EQ(V().列表框1.CurrentIndex(), 1);
  EXPECT_EQ(Shown(), Unnamed(first));
  V().编辑框_章节内容右.SetText("<p>");
  V().编辑框_网址.SetText({});
  EXPECT_EQ(rules.Bytes(), defaults);
}

TEST_F(RulesWindowTest, EachKeystrokeGoesToItsFieldOfTheSelectedRule) {
  ClickEntry(1);
  for (RuleField f : kAllFields) {
    Type(f, QStringLiteral("中"));
    const std::string shown = R().Editor().BoxOf(f).GetText();
    EXPECT_EQ(Field(rules.store.ReadAt(2), f), shown);
    Type(f, QStringLiteral("x"));
    EXPECT_EQ(Field(rules.store.ReadAt(2), f), shown + "x") << "second keystroke";
    EXPECT_EQ(rules.store.ReadAt(1), first);
  }
  // Typed text reaches the file as the code-page-936 bytes it holds.
  EXPECT_NE(rules.Bytes().find(Cp936("中x")), std::string::npos);
}

TEST_F(RulesWindowTest, PatternsWrapButStayOneLine) {
  auto* tall = qobject_cast<QPlainTextEdit*>(R().Box(RuleField::chapterListPattern));
  ASSERT_NE(tall, nullptr);
  EXPECT_EQ(tall->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  QTest::keyClick(tall, Qt::Key_Return);
  QTest::keyClick(tall, Qt::Key_Enter);
  EXPECT_EQ(V().编辑框_列表正则.GetText(), first.chapterListPattern);
  EXPECT_EQ(rules.Bytes(), defaults);
}

TEST_F(RulesWindowTest, EditingWithNoEntrySelectedStoresNothing) {
  // A comment by hand: any write by the store would drop it.
  std::string mine = defaults;
  mine.insert(mine.find('\n') + 1, "<!-- mine -->");
  WriteBytes(rules.file, mine);
  V().列表框1.Select(-1);
  Type(RuleField::contentLeft, QStringLiteral("abc"));
  EXPECT_EQ(rules.Bytes(), mine);

  V().列表框1.Select(0);
  Type(RuleField::contentLeft, QStringLiteral("d"));
  EXPECT_EQ(rules.store.ReadAt(1).contentLeft, first.contentLeft + "abcd");
}

// ---- the states of rule list editing

struct Snapshot {
  QString caption;
  bool list, rename, add, remove, boxes;
  bool operator==(const Snapshot&) const = default;
};

void PrintTo(const Snapshot& s, std::ostream* os) {
  *os << s.caption.toStdString() << " list " << s.list << " rename " << s.rename << " add " << s.add
      << " delete " << s.remove << " boxes " << s.boxes;
}

Snapshot Take(RulesWindowTest& t) {
  bool boxes = true;
  for (RuleField f : kAllFields) boxes = boxes && t.R().Box(f)->isEnabled();
  return {t.AddCaption(), t.List()->isEnabled(), t.Button(u"按钮_修改")->isEnabled(),
          t.Button(u"按钮_增加")->isEnabled(), t.Button(u"按钮_删除")->isEnabled(), boxes};
}

const Snapshot kIdle{QStringLiteral("增加"), true, true, true, true, true};
const Snapshot kRenaming{QStringLiteral("增加"), false, true, false, false, true};
const Snapshot kNaming{QStringLiteral("增加"), false, false, true, false, true};
const Snapshot kPending{QStringLiteral("确认增加"), false, false, true, false, true};

struct StateCase {
  const char* what;
  std::function<Snapshot(RulesWindowTest&)> reach;
  Snapshot expected;
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.what; }

class EditingStateTest : public RulesWindowTest, public testing::WithParamInterface<StateCase> {};

TEST_P(EditingStateTest, ControlsMatchTheState) { EXPECT_EQ(GetParam().reach(*this), GetParam().expected); }

// Reaches "new rule pending" with the name 新站.
void MakePending(RulesWindowTest& t) {
  t.AnswerInput("新站");
  t.Click(u"按钮_增加");
}

Snapshot AfterConfirming(RulesWindowTest& t, int answer) {
  MakePending(t);
  t.notices.AnswerNext(answer);
  t.Click(u"按钮_增加");
  return Take(t);
}

INSTANTIATE_TEST_SUITE_P(
    States, EditingStateTest,
    testing::Values(
        StateCase{"idle at start", Take, kIdle},
        StateCase{"renaming while the question is open",
                  [](RulesWindowTest& t) {
                    Snapshot during{};
                    t.notices.Script().Push([&](const NoticeRequest&) {
                      during = Take(t);
                      return 6;
                    });
                    t.AnswerInput("改名");
                    t.Click(u"按钮_修改");
                    return during;
                  },
                  kRenaming},
        StateCase{"renaming while the input box is open",
                  [](RulesWindowTest& t) {
                    Snapshot during{};
                    t.notices.AnswerNext(6);
                    t.R().Input().Script().Push([&](const InputRequest&) {
                      during = Take(t);
                      return std::optional<std::string>();
                    });
                    t.Click(u"按钮_修改");
                    return during;
                  },
                  kRenaming},
        StateCase{"idle after renaming",
                  [](RulesWindowTest& t) {
                    t.notices.AnswerNext(6);
                    t.AnswerInput("改名");
                    t.Click(u"按钮_修改");
                    return Take(t);
                  },
                  kIdle},
        StateCase{"naming a new rule",
                  [](RulesWindowTest& t) {
                    Snapshot during{};
                    t.R().Input().Script().Push([&](const InputRequest&) {
                      during = Take(t);
                      return std::optional<std::string>(Cp936("新站"));
                    });
                    t.Click(u"按钮_增加");
                    return during;
                  },
                  kNaming},
        StateCase{"idle after the name was cancelled",
                  [](RulesWindowTest& t) {
                    t.AnswerInput(std::nullopt);
                    t.Click(u"按钮_增加");
                    return Take(t);
                  },
                  kIdle},
        StateCase{"idle after an empty name",
                  [](RulesWindowTest& t) {
                    t.AnswerInput(" \xe3\x80\x80 ");
                    t.Click(u"按钮_增加");
                    return Take(t);
                  },
                  kIdle},
        StateCase{"pending", [](RulesWindowTest& t) { MakePending(t); return Take(t); }, kPending},
        StateCase{"pending after cancel", [](RulesWindowTest& t) { return AfterConfirming(t, 2); }, kPending},
        StateCase{"pending after the time-out",
                  [](RulesWindowTest& t) { return AfterConfirming(t, 32000); }, kPending},
        StateCase{"pending when no box was shown", [](RulesWindowTest& t) { return AfterConfirming(t, 0); },
                  kPending},
        StateCase{"pending across disabling the whole window",
                  [](RulesWindowTest& t) {
                    MakePending(t);
                    t.V().window.SetEnabled(false);
                    t.V().window.SetEnabled(true);
                    return Take(t);
                  },
                  kPending},
        StateCase{"idle after yes", [](RulesWindowTest& t) { return AfterConfirming(t, 6); }, kIdle},
        StateCase{"idle after no", [](RulesWindowTest& t) { return AfterConfirming(t, 7); }, kIdle}));

// ---- the flows and the rule file

struct FlowCase {
  const char* what;
  std::function<void(RulesWindowTest&)> run;
  std::function<void(RulesWindowTest&)> check;
};

void PrintTo(const FlowCase& c, std::ostream* os) { *os << c.what; }

class FlowTest : public RulesWindowTest, public testing::WithParamInterface<FlowCase> {};

TEST_P(FlowTest, KeepsListAndFileInStep) {
  GetParam().run(*this);
  GetParam().check(*this);
}

std::function<void(RulesWindowTest&)> Rename(std::vector<int> answers, std::vector<std::optional<std::string>> names) {
  return [=](RulesWindowTest& t) {
    for (int a : answers) t.notices.AnswerNext(a);
    for (const auto& n : names) t.AnswerInput(n);
    t.Click(u"按钮_修改");
  };
}

void FileUntouched(RulesWindowTest& t) {
  EXPECT_EQ(t.rules.Bytes(), t.defaults);
  EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
}

const NoticeRequest kRenameQuestion{
    Cp936("修改询问"),
    Cp936("是否修改规则名？\r\n修改请点击\"是\"\r\n不修改请点击\"否\"\r\n5秒后自动返回不修改规则名"), 5000, 36};
const NoticeRequest kConfirmQuestion{
    Cp936("确认提醒"),
    Cp936("请确认是否增加规则\r\n确认请点击\"是\"\r\n取消请点击\"否\"\r\n返回重新修改请点击\"取消\"\r\n5秒后自动返回重新修改"),
    5000, 35};

void ExpectAsked(RulesWindowTest& t, const std::vector<NoticeRequest>& expected) {
  const std::vector<NoticeRequest> asked = t.notices.Script().Asked();
  ASSERT_EQ(asked.size(), expected.size());
  for (std::size_t i = 0; i < asked.size(); ++i) {
    EXPECT_EQ(text::Utf8(asked[i].title), text::Utf8(expected[i].title));
    EXPECT_EQ(text::Utf8(asked[i].message), text::Utf8(expected[i].message));
    EXPECT_EQ(asked[i].timeoutMs, expected[i].timeoutMs);
    EXPECT_EQ(asked[i].style, expected[i].style);
  }
}

void ExpectInput(RulesWindowTest& t, const char* prompt, const char* title, const std::string& initial) {
  const auto asked = t.R().Input().Script().Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].prompt, Cp936(prompt));
  EXPECT_EQ(asked[0].title, Cp936(title));
  EXPECT_EQ(asked[0].initial, initial);
}

// A name must not reach the store unless the user confirmed a new one.
FlowCase RenameLeavesTheName(const char* what, std::vector<int> answers,
                             std::vector<std::optional<std::string>> names) {
  return {what, Rename(answers, names), [](RulesWindowTest& t) {
            FileUntouched(t);
            EXPECT_EQ(t.V().列表框1.CurrentIndex(), 0);
          }};
}

FlowCase ConfirmationKeepsItPending(const char* what, int answer) {
  return {what,
          [answer](RulesWindowTest& t) {
            MakePending(t);
            t.notices.AnswerNext(answer);
            t.Click(u"按钮_增加");
          },
          [](RulesWindowTest& t) {
            EXPECT_EQ(t.ListTexts(), (Names{t.first.name, t.second.name, Cp936("新站")}));
            EXPECT_EQ(t.V().列表框1.CurrentIndex(), 2);
            EXPECT_EQ(t.AddCaption(), QStringLiteral("确认增加"));
            EXPECT_EQ(t.rules.Bytes(), t.defaults);
            ExpectAsked(t, {kConfirmQuestion});
          }};
}

INSTANTIATE_TEST_SUITE_P(
    Flows, FlowTest,
    testing::Values(
        FlowCase{"rename: the answer loses its ASCII and full-width spaces",
                 Rename({6}, {"新 规\xe3\x80\x80则 "}),
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{Cp936("新规则"), t.second.name}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   SiteRule renamed = t.first;
                   renamed.name = Cp936("新规则");
                   EXPECT_EQ(t.rules.store.ReadAt(1), renamed);
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 0);
                   EXPECT_EQ(t.V().列表框1.ItemValue(0), 0);
                   ExpectAsked(t, {kRenameQuestion});
                   ExpectInput(t, "请输入新的规则名称：", "修改规则名称", t.first.name + "1");
                 }},
        FlowCase{"rename the second entry",
                 [](RulesWindowTest& t) {
                   t.ClickEntry(1);
                   Rename({6}, {"乙"})(t);
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.first.name, Cp936("乙")}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 1);
                   ExpectInput(t, "请输入新的规则名称：", "修改规则名称", t.second.name + "1");
                 }},
        RenameLeavesTheName("rename: no", {7}, {}),
        RenameLeavesTheName("rename: the question timed out", {32000}, {}),
        RenameLeavesTheName("rename: no box could be shown", {0}, {}),
        RenameLeavesTheName("rename: cancelled in the input box", {6}, {std::nullopt}),
        RenameLeavesTheName("rename: nothing but spaces", {6}, {" \xe3\x80\x80"}),
        FlowCase{"rename: the same name once its spaces are gone",
                 [](RulesWindowTest& t) {
                   t.notices.AnswerNext(6);
                   std::string spaced = t.first.name;
                   spaced.insert(2, " ");
                   t.R().Input().AnswerNext(spaced);
                   t.Click(u"按钮_修改");
                 },
                 FileUntouched},
        FlowCase{"delete the first entry: the new first is selected and shown",
                 [](RulesWindowTest& t) { t.Click(u"按钮_删除"); },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.second.name}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 0);
                   EXPECT_EQ(t.Shown(), RulesWindowTest::Unnamed(t.second));
                   EXPECT_TRUE(t.notices.Script().Asked().empty());
                 }},
        FlowCase{"delete entry 1: entry 0 is selected and shown",
                 [](RulesWindowTest& t) {
                   t.ClickEntry(1);
                   t.Click(u"按钮_删除");
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.first.name}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 0);
                   EXPECT_EQ(t.Shown(), RulesWindowTest::Unnamed(t.first));
                 }},
        FlowCase{"delete the last rule left: refused with a notice",
                 [](RulesWindowTest& t) {
                   t.Click(u"按钮_删除");
                   t.notices.AnswerNext(1);
                   t.Click(u"按钮_删除");
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.second.name}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   ExpectAsked(t, {{Cp936("删除提示"), Cp936("老大,要不要这么狠?留条活命吧!"), 3000, 16}});
                 }},
        FlowCase{"delete with no entry selected fails with a notice",
                 [](RulesWindowTest& t) {
                   t.V().列表框1.Select(-1);
                   t.notices.AnswerNext(1);
                   t.Click(u"按钮_删除");
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.first.name, t.second.name}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   ExpectAsked(t, {{Cp936("删除提示"), Cp936("删除失败，请重试!"), 3000, 64}});
                 }},
        FlowCase{"add: the name asked for, cancelled",
                 [](RulesWindowTest& t) {
                   t.AnswerInput(std::nullopt);
                   t.Click(u"按钮_增加");
                 },
                 [](RulesWindowTest& t) {
                   FileUntouched(t);
                   ExpectInput(t, "请输入列表框称：\r\n（不含空格）", "输入名称", Cp936("新规则名称"));
                 }},
        FlowCase{"add: pending copies the shown rule without its address and stores nothing",
                 [](RulesWindowTest& t) {
                   t.ClickEntry(1);
                   t.AnswerInput("新 站");
                   t.Click(u"按钮_增加");
                   t.Type(RuleField::contentRight, QStringLiteral("改"));
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.ListTexts(), (Names{t.first.name, t.second.name, Cp936("新站")}));
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 2);
                   EXPECT_EQ(t.V().列表框1.ItemValue(2), 1);
                   SiteRule shown = RulesWindowTest::Unnamed(t.second);
                   shown.siteAddress.clear();
                   shown.contentRight += Cp936("改");
                   EXPECT_EQ(t.Shown(), shown);
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.first.name, t.second.name}));
                   EXPECT_EQ(t.rules.store.ReadAt(1), t.first);
                   EXPECT_EQ(t.rules.store.ReadAt(2), t.second);
                 }},
        FlowCase{"add: yes stores exactly the six boxes as the last rule",
                 [](RulesWindowTest& t) {
                   MakePending(t);
                   t.Type(RuleField::siteAddress, QStringLiteral("http://新.example/"));
                   t.Type(RuleField::titlePattern, QStringLiteral("&<>\"'"));
                   t.notices.AnswerNext(6);
                   t.Click(u"按钮_增加");
                 },
                 [](RulesWindowTest& t) {
                   EXPECT_EQ(t.rules.store.ListNames(), (Names{t.first.name, t.second.name, Cp936("新站")}));
                   EXPECT_EQ(t.ListTexts(), t.rules.store.ListNames());
                   SiteRule stored = t.first;
                   stored.name = Cp936("新站");
                   stored.siteAddress = Cp936("http://新.example/");
                   stored.titlePattern += "&<>\"'";
                   EXPECT_EQ(t.rules.store.ReadAt(3), stored);
                   EXPECT_EQ(t.rules.store.ReadAt(1), t.first);
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 2);
                   EXPECT_EQ(t.AddCaption(), QStringLiteral("增加"));
                   ExpectAsked(t, {kConfirmQuestion});
                 }},
        FlowCase{"add: no drops it and shows the rule selected before",
                 [](RulesWindowTest& t) {
                   t.ClickEntry(1);
                   MakePending(t);
                   t.notices.AnswerNext(7);
                   t.Click(u"按钮_增加");
                 },
                 [](RulesWindowTest& t) {
                   FileUntouched(t);
                   EXPECT_EQ(t.V().列表框1.CurrentIndex(), 1);
                   EXPECT_EQ(t.Shown(), RulesWindowTest::Unnamed(t.second));
                   EXPECT_EQ(t.AddCaption(), QStringLiteral("增加"));
                 }},
        ConfirmationKeepsItPending("add: cancel keeps it pending", 2),
        ConfirmationKeepsItPending("add: the time-out keeps it pending", 32000),
        ConfirmationKeepsItPending("add: no box keeps it pending", 0)));

}  // namespace
}  // namespace quill::app
