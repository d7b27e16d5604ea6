#include "app/Adapters.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>

#include "app/GuiThread.h"
#include "app/QtText.h"
#include "app/Widgets.h"

namespace quill::app {

// ---- label

LabelAdapter::LabelAdapter(QLabel* label) : label_(label) {}

Text LabelAdapter::Caption() {
  return OnGuiThread([&] { return label_ ? ToCp936Lines(label_->text()) : Text{}; });
}

void LabelAdapter::SetCaption(const Text& caption) {
  OnGuiThread([&] {
    if (label_) label_->setText(ToQtLines(caption));
  });
}

// ---- edit box

EditBoxAdapter::EditBoxAdapter(QWidget* edit) : edit_(edit) {}

Text EditBoxAdapter::GetText() {
  return OnGuiThread([&] {
    if (auto* line = qobject_cast<QLineEdit*>(edit_)) return ToCp936(line->text());
    if (auto* box = qobject_cast<QPlainTextEdit*>(edit_)) return ToCp936(box->toPlainText());
    return Text{};
  });
}

void EditBoxAdapter::SetText(const Text& text) {
  OnGuiThread([&] {
    if (auto* line = qobject_cast<QLineEdit*>(edit_)) {
      line->setText(ToQt(text));
      line->setCursorPosition(0);
    } else if (auto* box = dynamic_cast<PatternBox*>(edit_.data())) {
      box->SetTextQuietly(ToQt(text));
    }
  });
}

// ---- button

ButtonAdapter::ButtonAdapter(QPushButton* button) : button_(button) {}

bool ButtonAdapter::IsEnabled() {
  return OnGuiThread([&] { return button_ && button_->isEnabled(); });
}

void ButtonAdapter::SetEnabled(bool enabled) {
  OnGuiThread([&] {
    if (button_) button_->setEnabled(enabled);
  });
}

Text ButtonAdapter::Caption() {
  return OnGuiThread([&] { return button_ ? ToCp936(button_->text()) : Text{}; });
}

void ButtonAdapter::SetCaption(const Text& caption) {
  OnGuiThread([&] {
    if (button_) button_->setText(ToQt(caption));
  });
}

// ---- check box

CheckBoxAdapter::CheckBoxAdapter(QCheckBox* box) : box_(box) {}

bool CheckBoxAdapter::IsChecked() {
  return OnGuiThread([&] { return box_ && box_->isChecked(); });
}

void CheckBoxAdapter::SetChecked(bool checked) {
  // setChecked raises toggled, never clicked, and the program listens to clicked.
  OnGuiThread([&] {
    if (box_) box_->setChecked(checked);
  });
}

bool CheckBoxAdapter::IsEnabled() {
  return OnGuiThread([&] { return box_ && box_->isEnabled(); });
}

void CheckBoxAdapter::SetEnabled(bool enabled) {
  OnGuiThread([&] {
    if (box_) box_->setEnabled(enabled);
  });
}

// ---- list box

namespace {
constexpr int kValueRole = Qt::UserRole;

bool InRange(int index, int count) { return index >= 0 && index < count; }

int SelectedRow(QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}
}  // namespace

ListBoxAdapter::ListBoxAdapter(QListWidget* list) : list_(list) {}

void ListBoxAdapter::Insert(int index, const Text& text, int value) {
  OnGuiThread([&] {
    if (!list_) return;
    const QSignalBlocker quiet(list_);
    auto* item = new QListWidgetItem(ToQt(text));
    item->setData(kValueRole, value);
    const int count = list_->count();
    list_->insertItem(InRange(index, count + 1) ? index : count, item);
  });
}

void ListBoxAdapter::Remove(int index) {
  OnGuiThread([&] {
    if (!list_ || !InRange(index, list_->count())) return;
    const QSignalBlocker quiet(list_);
    const bool wasSelected = SelectedRow(list_) == index;
    delete list_->takeItem(index);
    // Like a Windows list box: deleting the selected entry leaves none selected.
    if (wasSelected) {
      list_->clearSelection();
      list_->setCurrentRow(-1);
    }
  });
}

void ListBoxAdapter::SetItemText(int index, const Text& text) {
  OnGuiThread([&] {
    if (!list_ || !InRange(index, list_->count())) return;
    const QSignalBlocker quiet(list_);
    list_->item(index)->setText(ToQt(text));
  });
}

void ListBoxAdapter::Select(int index) {
  OnGuiThread([&] {
    if (!list_) return;
    const QSignalBlocker quiet(list_);
    if (InRange(index, list_->count())) {
      list_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    } else {
      list_->clearSelection();
      list_->setCurrentRow(-1);
    }
  });
}

int ListBoxAdapter::Count() {
  return OnGuiThread([&] { return list_ ? list_->count() : 0; });
}

int ListBoxAdapter::CurrentIndex() {
  return OnGuiThread([&] { return list_ ? SelectedRow(list_) : -1; });
}

Text ListBoxAdapter::ItemText(int index) {
  return OnGuiThread([&] {
    if (!list_ || !InRange(index, list_->count())) return Text{};
    return ToCp936(list_->item(index)->text());
  });
}

int ListBoxAdapter::ItemValue(int index) {
  return OnGuiThread([&] {
    if (!list_ || !InRange(index, list_->count())) return -1;
    return list_->item(index)->data(kValueRole).toInt();
  });
}

bool ListBoxAdapter::IsEnabled() {
  return OnGuiThread([&] { return list_ && list_->isEnabled(); });
}

void ListBoxAdapter::SetEnabled(bool enabled) {
  OnGuiThread([&] {
    if (list_) list_->setEnabled(enabled);
  });
}

// ---- chapter table

ChapterTableAdapter::ChapterTableAdapter(QTableWidget* table) : table_(table) {}

int ChapterTableAdapter::RowCount() {
  return OnGuiThread([&] { return table_ ? table_->rowCount() : 0; });
}

void ChapterTableAdapter::Clear() {
  OnGuiThread([&] {
    if (table_) table_->setRowCount(0);
  });
}

int ChapterTableAdapter::AppendRow(const Text& column0) {
  return OnGuiThread([&] {
    if (!table_) return -1;
    const int row = table_->rowCount();
    table_->insertRow(row);
    for (int column = 0; column < kChapterColumns; ++column) {
      table_->setItem(row, column, NewChapterCell(column));
    }
    table_->item(row, 0)->setText(ToQt(column0));
    return row;
  });
}

Text ChapterTableAdapter::Cell(int row, int column) {
  return OnGuiThread([&] {
    QTableWidgetItem* item = table_ ? table_->item(row, column) : nullptr;
    return item ? ToCp936(item->text()) : Text{};
  });
}

void ChapterTableAdapter::SetCell(int row, int column, const Text& text) {
  OnGuiThread([&] {
    QTableWidgetItem* item = table_ ? table_->item(row, column) : nullptr;
    if (item) item->setText(ToQt(text));
  });
}

int ChapterTableAdapter::StateImage(int row) {
  return OnGuiThread([&] {
    QTableWidgetItem* item = table_ ? table_->item(row, 0) : nullptr;
    return item && item->checkState() == Qt::Checked ? 1 : 0;
  });
}

void ChapterTableAdapter::SetStateImage(int row, int state) {
  OnGuiThread([&] {
    QTableWidgetItem* item = table_ ? table_->item(row, 0) : nullptr;
    if (item) item->setCheckState(state == 1 ? Qt::Checked : Qt::Unchecked);
  });
}

void ChapterTableAdapter::SelectRow(int row) {
  OnGuiThread([&] {
    if (!table_ || !InRange(row, table_->rowCount())) return;
    table_->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  });
}

void ChapterTableAdapter::ScrollTo(int row) {
  OnGuiThread([&] {
    QTableWidgetItem* item = table_ ? table_->item(row, 0) : nullptr;
    if (item) table_->scrollToItem(item);
  });
}

// ---- top-level window

WindowAdapter::WindowAdapter(QWidget* window) : window_(window) {}

bool WindowAdapter::IsEnabled() {
  return OnGuiThread([&] { return window_ && window_->isEnabled(); });
}

void WindowAdapter::SetEnabled(bool enabled) {
  // Qt keeps each child's own enabled state underneath, as Windows does.
  OnGuiThread([&] {
    if (window_) window_->setEnabled(enabled);
  });
}

bool WindowAdapter::IsVisible() {
  return OnGuiThread([&] { return window_ && window_->isVisible(); });
}

void WindowAdapter::SetVisible(bool visible) {
  OnGuiThread([&] {
    if (window_) window_->setVisible(visible);
  });
}

}  // namespace quill::app
