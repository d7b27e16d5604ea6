#pragma once
// The main window: address, title and author, status line, chapter table,
// the three action buttons, the auto-merge check box and the toggle of the
// rules window, which it loads hidden at start and keeps at its right edge.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/Adapters.h"
#include "controls/Controls.h"
#include "rules/RuleStore.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quill::app {

class RulesWindow;

class MainWindow final : public QWidget {
 public:
  static constexpr QSize kOuterSize{514, 400};

  // Runs the start-up: loads the rules window hidden, places it, makes sure
  // the rule file exists, lists the rules, selects and shows the first.
  MainWindow(rules::RuleStore& store, controls::Notices& notices, controls::MessagePump& pump);
  ~MainWindow() override;

  controls::MainWindowView& View() { return *view_; }
  // Null once the rules window has been destroyed.
  RulesWindow* Rules() const { return rules_.get(); }
  // Every control a job needs; valid while the rules window exists.
  controls::Ui& Ui() { return *ui_; }

  // Handlers of the three action buttons; empty until installed.
  std::function<void()> onFetch;     // 按钮_获取章节标题
  std::function<void()> onDownload;  // 按钮_下载章节内容
  std::function<void()> onMerge;     // 按钮_合并
  // Shut-down, first step: runs when the window closes, before anything is
  // torn down (the worker pool's stop-and-wait goes here).
  std::function<void()> onShutdown;
  // Then: the program leaves its event loop (main installs the quit).
  std::function<void()> onClosed;

  // Shut-down, last step: only once no nested event loop is left running,
  // since a handler of the rules window may still be on the stack until then.
  void DestroyRulesWindow();

  // The rules window hangs 5 pixels right of this window and 40 lower.
  void PlaceRulesWindow();
  void ToggleRulesWindow();

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLineEdit* address_;
  QLineEdit* baseAddress_;
  QPushButton* toggle_;
  QPushButton* fetch_;
  QPushButton* download_;
  QPushButton* merge_;
  QCheckBox* autoMerge_;
  QTableWidget* table_;

  std::unique_ptr<EditBoxAdapter> addressAdapter_, baseAddressAdapter_;
  std::unique_ptr<LabelAdapter> titleAdapter_, authorAdapter_, statusAdapter_;
  std::unique_ptr<ChapterTableAdapter> tableAdapter_;
  std::unique_ptr<ButtonAdapter> fetchAdapter_, downloadAdapter_, mergeAdapter_;
  std::unique_ptr<CheckBoxAdapter> autoMergeAdapter_;
  std::unique_ptr<controls::MainWindowView> view_;

  std::unique_ptr<RulesWindow> rules_;
  std::unique_ptr<controls::Ui> ui_;
  bool closing_ = false;

  // Repaints at most once a frame: during a download every chapter changes
  // the table several times, and painting each change would take the GUI
  // thread away from the control operations the workers wait for.
  bool ThrottlePaint();
  QElapsedTimer sincePaint_;
  QTimer paintLater_;
};

}  // namespace quill::app
