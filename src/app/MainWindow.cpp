#include "app/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/RulesWindow.h"
#include "app/Widgets.h"

namespace quill::app {

namespace {

constexpr QSize kMinClient{497, 366};
constexpr int kFrameMs = 16;

const QString kShowRules = QStringLiteral("规则设定>>>");
const QString kHideRules = QStringLiteral("<<<规则设定");

void Call(const std::function<void()>& handler) {
  if (handler) handler();
}

}  // namespace

MainWindow::MainWindow(rules::RuleStore& store, controls::Notices& notices,
                       controls::MessagePump& pump)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Quillmere V1.3 By：Tessaly"));

  MakeLabel(this, QStringLiteral("标签1"), {13, 8, 80, 24}, QStringLiteral("章节列表网址："));
  address_ = MakeEditBox(this, QStringLiteral("编辑框1"), {101, 8, 392, 20});
  address_->setText(QStringLiteral("http://www.vellowick.example/book/1/"));
  toggle_ = MakeButton(this, QStringLiteral("按钮_选择规则"), {408, 32, 85, 32}, kShowRules);
  MakeLabel(this, QStringLiteral("标签5"), {14, 39, 44, 24}, QStringLiteral("小说："));
  QLabel* title = MakeLabel(this, QStringLiteral("标签_书名"), {60, 39, 164, 24}, QString());
  MakeLabel(this, QStringLiteral("标签6"), {242, 39, 38, 24}, QStringLiteral("作者："));
  QLabel* author = MakeLabel(this, QStringLiteral("标签_作者"), {284, 39, 116, 24}, QString());
  QLabel* status = MakeLabel(this, QStringLiteral("标签4"), {16, 72, 472, 24}, QString());
  table_ = MakeChapterTable(this, QStringLiteral("超级列表框1"), {13, 102, 480, 216});
  baseAddress_ = MakeEditBox(this, QStringLiteral("编辑框2"), {56, 158, 392, 20});
  baseAddress_->hide();
  fetch_ = MakeButton(this, QStringLiteral("按钮_获取章节标题"), {26, 330, 80, 32},
                      QStringLiteral("获取章节标题"));
  download_ = MakeButton(this, QStringLiteral("按钮_下载章节内容"), {147, 330, 80, 32},
                         QStringLiteral("下载章节内容"));
  autoMerge_ = new QCheckBox(QStringLiteral("下载完成后自动合并"), this);
  autoMerge_->setObjectName(QStringLiteral("选择框1"));
  autoMerge_->setGeometry(254, 335, 128, 24);
  autoMerge_->setChecked(true);
  merge_ = MakeButton(this, QStringLiteral("按钮_合并"), {400, 329, 80, 32},
                      QStringLiteral("合并成全本"));
  merge_->setEnabled(false);

  addressAdapter_ = std::make_unique<EditBoxAdapter>(address_);
  baseAddressAdapter_ = std::make_unique<EditBoxAdapter>(baseAddress_);
  titleAdapter_ = std::make_unique<LabelAdapter>(title);
  authorAdapter_ = std::make_unique<LabelAdapter>(author);
  statusAdapter_ = std::make_unique<LabelAdapter>(status);
  tableAdapter_ = std::make_unique<ChapterTableAdapter>(table_);
  fetchAdapter_ = std::make_unique<ButtonAdapter>(fetch_);
  downloadAdapter_ = std::make_unique<ButtonAdapter>(download_);
  mergeAdapter_ = std::make_unique<ButtonAdapter>(merge_);
  autoMergeAdapter_ = std::make_unique<CheckBoxAdapter>(autoMerge_);
  view_ = std::make_unique<controls::MainWindowView>(controls::MainWindowView{
      *addressAdapter_, *baseAddressAdapter_, *titleAdapter_, *authorAdapter_, *statusAdapter_,
      *tableAdapter_, *fetchAdapter_, *downloadAdapter_, *mergeAdapter_, *autoMergeAdapter_});

  connect(toggle_, &QPushButton::clicked, this, [this] { ToggleRulesWindow(); });
  connect(autoMerge_, &QCheckBox::clicked, this,
          [this](bool checked) { merge_->setEnabled(!checked); });
  connect(fetch_, &QPushButton::clicked, this, [this] { Call(onFetch); });
  connect(download_, &QPushButton::clicked, this, [this] { Call(onDownload); });
  connect(merge_, &QPushButton::clicked, this, [this] { Call(onMerge); });

  paintLater_.setSingleShot(true);
  paintLater_.setTimerType(Qt::PreciseTimer);
  connect(&paintLater_, &QTimer::timeout, this, [this] {
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  });

  move(50, 50);
  FitOuterSize(this, kOuterSize, kMinClient);

  // Start-up. The rules window is a window of its own, without an owner,
  // hidden as its definition has it.
  rules_ = std::make_unique<RulesWindow>(store, notices, pump);
  PlaceRulesWindow();
  rules_->Editor().Load();
  ui_ = std::make_unique<controls::Ui>(controls::Ui{*view_, rules_->View(), notices, pump});
}

MainWindow::~MainWindow() { DestroyRulesWindow(); }

void MainWindow::DestroyRulesWindow() { rules_.reset(); }

void MainWindow::PlaceRulesWindow() {
  if (!rules_) return;
  const QRect outer = frameGeometry();
  rules_->move(outer.left() + outer.width() + 5, outer.top() + 40);
}

void MainWindow::ToggleRulesWindow() {
  if (!rules_) return;
  rules_->setVisible(!rules_->isVisible());
  toggle_->setText(rules_->isVisible() ? kHideRules : kShowRules);
}

bool MainWindow::ThrottlePaint() {
  // A request held back here is not asked for again (Qt waits for the one it
  // posted), so whatever becomes dirty meanwhile is painted by the single
  // request the timer posts when the frame is over.
  const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
  if (since < kFrameMs) {
    if (!paintLater_.isActive()) paintLater_.start(static_cast<int>(kFrameMs - since));
    return true;
  }
  sincePaint_.start();
  return false;
}

bool MainWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::UpdateRequest:
      if (ThrottlePaint()) return true;
      break;
    case QEvent::Show:
    case QEvent::Move:
      // A window manager's frame is known only once the window is shown.
      FitOuterSize(this, kOuterSize, kMinClient);
      PlaceRulesWindow();
      break;
    case QEvent::Resize:
      PlaceRulesWindow();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

void MainWindow::changeEvent(QEvent* event) {
  // Keep the rules window in sight above others without taking the focus.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && rules_) rules_->raise();
  QWidget::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A close request that arrives while shutting down (from a nested wait)
  // must not start the shut-down again.
  if (closing_) {
    event->ignore();
    return;
  }
  closing_ = true;
  event->accept();
  hide();
  Call(onShutdown);
  Call(onClosed);
}

}  // namespace quill::app
