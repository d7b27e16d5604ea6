#pragma once
// The rules window RualWin: the rule list and the six edit boxes that are
// the rule in force. It only wires the widgets' user signals to RulesEditor.
#include <QWidget>

#include <memory>

#include "app/Adapters.h"
#include "app/InputBox.h"
#include "controls/Controls.h"
#include "rules/RuleStore.h"
#include "rules/RulesEditor.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace quill::app {

class RulesWindow final : public QWidget {
 public:
  static constexpr QSize kOuterSize{405, 301};

  RulesWindow(rules::RuleStore& store, controls::Notices& notices, controls::MessagePump& pump);
  ~RulesWindow() override;

  controls::RulesWindowView& View() { return *view_; }
  rules::RulesEditor& Editor() { return *editor_; }
  QtInputBox& Input() { return input_; }

  QListWidget* List() const { return list_; }
  // The edit box of a field: a QLineEdit, or a PatternBox for the patterns.
  QWidget* Box(rules::RuleField field) const;

 protected:
  // The window lives as long as the main window: closing it is refused.
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QListWidget* list_;
  QWidget* boxes_[6];
  QPushButton* rename_;
  QPushButton* add_;
  QPushButton* delete_;

  WindowAdapter windowAdapter_;
  ListBoxAdapter listAdapter_;
  std::unique_ptr<EditBoxAdapter> boxAdapters_[6];
  ButtonAdapter renameAdapter_;
  ButtonAdapter addAdapter_;
  ButtonAdapter deleteAdapter_;
  std::unique_ptr<controls::RulesWindowView> view_;
  QtInputBox input_;
  std::unique_ptr<rules::RulesEditor> editor_;
};

}  // namespace quill::app
