#include "app/RulesWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Widgets.h"

namespace quill::app {

namespace {

using rules::RuleField;

constexpr RuleField kFieldOrder[6] = {RuleField::siteAddress,  RuleField::chapterListPattern,
                                      RuleField::titlePattern, RuleField::authorPattern,
                                      RuleField::contentLeft,  RuleField::contentRight};

// The extent of the controls, and a little room, so that a window manager's
// frame never cuts them off.
constexpr QSize kMinClient{398, 295};

QListWidget* MakeRuleList(QWidget* parent) {
  auto* list = new RuleList(parent);
  list->setObjectName(QStringLiteral("列表框1"));
  list->setGeometry(8, 12, 128, 278);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

}  // namespace

RulesWindow::RulesWindow(rules::RuleStore& store, controls::Notices& notices,
                         controls::MessagePump& pump)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint),
      list_(MakeRuleList(this)),
      boxes_{MakeEditBox(this, QStringLiteral("编辑框_网址"), {200, 13, 194, 20}),
             MakePatternBox(this, QStringLiteral("编辑框_列表正则"), {208, 38, 186, 50}),
             MakePatternBox(this, QStringLiteral("编辑框_小说名正则"), {208, 93, 186, 50}),
             MakePatternBox(this, QStringLiteral("编辑框_小说作者正则"), {208, 148, 186, 50}),
             MakeEditBox(this, QStringLiteral("编辑框_章节内容左"), {226, 203, 168, 20}),
             MakeEditBox(this, QStringLiteral("编辑框_章节内容右"), {226, 232, 168, 20})},
      rename_(MakeButton(this, QStringLiteral("按钮_修改"), {153, 259, 72, 32}, QStringLiteral("修改规则名"))),
      add_(MakeButton(this, QStringLiteral("按钮_增加"), {245, 259, 60, 32}, QStringLiteral("增加"))),
      delete_(MakeButton(this, QStringLiteral("按钮_删除"), {326, 259, 60, 32}, QStringLiteral("删除"))),
      windowAdapter_(this),
      listAdapter_(list_),
      renameAdapter_(rename_),
      addAdapter_(add_),
      deleteAdapter_(delete_),
      input_(this) {
  setObjectName(QStringLiteral("RualWin"));
  setWindowTitle(QStringLiteral("规则设置"));
  // The labels have no names of their own in the window definition.
  MakeLabel(this, QString(), {143, 12, 56, 24}, QStringLiteral("网    址"));
  MakeLabel(this, QString(), {143, 52, 64, 24}, QStringLiteral("章节列表\n正则表达式"));
  MakeLabel(this, QString(), {143, 105, 64, 24}, QStringLiteral("小说名称\n正则表达式"));
  MakeLabel(this, QString(), {143, 159, 64, 24}, QStringLiteral("小说作者\n正则表达式"));
  MakeLabel(this, QString(), {143, 201, 78, 24}, QStringLiteral("章节内容左侧"));
  MakeLabel(this, QString(), {143, 229, 78, 24}, QStringLiteral("章节内容右侧"));

  for (int i = 0; i < 6; ++i) boxAdapters_[i] = std::make_unique<EditBoxAdapter>(boxes_[i]);
  view_ = std::make_unique<controls::RulesWindowView>(controls::RulesWindowView{
      windowAdapter_, listAdapter_, *boxAdapters_[0], *boxAdapters_[1], *boxAdapters_[2],
      *boxAdapters_[3], *boxAdapters_[4], *boxAdapters_[5], renameAdapter_, addAdapter_,
      deleteAdapter_});
  editor_ = std::make_unique<rules::RulesEditor>(*view_, store, notices, input_, pump);

  // The adapters block the list's signals while the program changes it, so
  // whatever arrives here is the user's doing.
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { editor_->UserSelected(); });
  for (int i = 0; i < 6; ++i) {
    const auto edited = [this, field = kFieldOrder[i]] { editor_->UserEdited(field); };
    if (auto* line = qobject_cast<QLineEdit*>(boxes_[i])) {
      // textEdited, unlike textChanged, is raised only by the user's edits.
      connect(line, &QLineEdit::textEdited, this, edited);
    } else if (auto* box = dynamic_cast<PatternBox*>(boxes_[i])) {
      box->onUserEdit = edited;
    }
  }
  connect(rename_, &QPushButton::clicked, this, [this] { editor_->RenameClicked(); });
  connect(add_, &QPushButton::clicked, this, [this] { editor_->AddClicked(); });
  connect(delete_, &QPushButton::clicked, this, [this] { editor_->DeleteClicked(); });

  move(50, 50);
  FitOuterSize(this, kOuterSize, kMinClient);
}

RulesWindow::~RulesWindow() = default;

QWidget* RulesWindow::Box(rules::RuleField field) const {
  for (int i = 0; i < 6; ++i) {
    if (kFieldOrder[i] == field) return boxes_[i];
  }
  return nullptr;
}

void RulesWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

bool RulesWindow::event(QEvent* event) {
  // A window manager's frame is known only once the window is shown.
  if (event->type() == QEvent::Show || event->type() == QEvent::Move) {
    FitOuterSize(this, kOuterSize, kMinClient);
  }
  return QWidget::event(event);
}

}  // namespace quill::app
