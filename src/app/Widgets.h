#pragma once
// Building blocks of the two windows: fonts, controls placed at fixed pixel
// positions as the window definitions give them, the chapter table, the
// rule list, and outer-size placement of top-level windows.
#include <QFont>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

namespace quill::app {

// 宋体 where installed, else an installed font that covers simplified Chinese.
QString ChineseFamily();
// Controls: 12 px, the size of a 9-point 宋体 on a 96-dpi Windows screen.
QFont ControlFont();
// The chapter table: 14 px, normal weight.
QFont TableFont();

// A label keeps at least its defined size and grows to show its whole
// caption, which never overlaps its neighbours in the two windows.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QRect& place, const QString& text);
QLineEdit* MakeEditBox(QWidget* parent, const QString& name, const QRect& place);
QPushButton* MakeButton(QWidget* parent, const QString& name, const QRect& place, const QString& text);

constexpr int kChapterColumns = 4;
// Report list: a check box and number in column 0, title, captured address
// (width 0: present, never seen), status (centred).
QTableWidget* MakeChapterTable(QWidget* parent, const QString& name, const QRect& place);
QTableWidgetItem* NewChapterCell(int column);

// Single selection as a Windows list box has it: once an entry is selected,
// the user's clicks and keys move the selection but never clear it.
class RuleList final : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
};

// The tall edit boxes of the rules window: long patterns wrap so that
// they can be read, but a pattern stays one line: Enter adds no line break.
// Only the user's own edits raise onUserEdit.
class PatternBox final : public QPlainTextEdit {
 public:
  explicit PatternBox(QWidget* parent);
  void SetTextQuietly(const QString& text);
  std::function<void()> onUserEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool quiet_ = false;
};
PatternBox* MakePatternBox(QWidget* parent, const QString& name, const QRect& place);

// Sizes a top-level window so that its outer size, frame included, is
// `outer`, but never so small that its client area cuts off `minClient`.
// Without a frame (no window manager) the client area is the outer size.
void FitOuterSize(QWidget* window, const QSize& outer, const QSize& minClient);

}  // namespace quill::app
