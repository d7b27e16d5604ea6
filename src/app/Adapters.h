#pragma once
// The control operations of controls/Controls.h over Qt widgets. Every call
// runs on the GUI thread (see GuiThread.h) and converts texts between code
// page 936 and Qt strings here and nowhere else. The widgets are watched: a
// call that arrives after its widget is gone does nothing and reads empty.
#include <QPointer>

#include "controls/Controls.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QListWidget;
class QTableWidget;
class QWidget;

namespace quill::app {

using controls::Text;

class LabelAdapter final : public controls::Label {
 public:
  explicit LabelAdapter(QLabel* label);
  Text Caption() override;
  void SetCaption(const Text& caption) override;

 private:
  QPointer<QLabel> label_;
};

// Over a QLineEdit or a PatternBox. Setting the text never counts as the
// user's edit: QLineEdit raises textEdited only for those, and a PatternBox
// is set quietly. The text is shown from its start, as Windows shows it.
class EditBoxAdapter final : public controls::EditBox {
 public:
  explicit EditBoxAdapter(QWidget* edit);
  Text GetText() override;
  void SetText(const Text& text) override;

 private:
  QPointer<QWidget> edit_;
};

class ButtonAdapter final : public controls::Button {
 public:
  explicit ButtonAdapter(QPushButton* button);
  bool IsEnabled() override;
  void SetEnabled(bool enabled) override;
  Text Caption() override;
  void SetCaption(const Text& caption) override;

 private:
  QPointer<QPushButton> button_;
};

class CheckBoxAdapter final : public controls::CheckBox {
 public:
  explicit CheckBoxAdapter(QCheckBox* box);
  bool IsChecked() override;
  void SetChecked(bool checked) override;
  bool IsEnabled() override;
  void SetEnabled(bool enabled) override;

 private:
  QPointer<QCheckBox> box_;
};

// The program's own changes run with the widget's signals blocked, so only
// the user's selections reach whoever listens to the list.
class ListBoxAdapter final : public controls::ListBox {
 public:
  explicit ListBoxAdapter(QListWidget* list);
  void Insert(int index, const Text& text, int value) override;
  void Remove(int index) override;
  void SetItemText(int index, const Text& text) override;
  void Select(int index) override;
  int Count() override;
  int CurrentIndex() override;
  Text ItemText(int index) override;
  int ItemValue(int index) override;
  bool IsEnabled() override;
  void SetEnabled(bool enabled) override;

 private:
  QPointer<QListWidget> list_;
};

class ChapterTableAdapter final : public controls::ChapterTable {
 public:
  explicit ChapterTableAdapter(QTableWidget* table);
  int RowCount() override;
  void Clear() override;
  int AppendRow(const Text& column0) override;
  Text Cell(int row, int column) override;
  void SetCell(int row, int column, const Text& text) override;
  int StateImage(int row) override;
  void SetStateImage(int row, int state) override;
  void SelectRow(int row) override;
  void ScrollTo(int row) override;

 private:
  QPointer<QTableWidget> table_;
};

class WindowAdapter final : public controls::Window {
 public:
  explicit WindowAdapter(QWidget* window);
  bool IsEnabled() override;
  void SetEnabled(bool enabled) override;
  bool IsVisible() override;
  void SetVisible(bool visible) override;

 private:
  QPointer<QWidget> window_;
};

}  // namespace quill::app
