#include "app/Widgets.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace quill::app {

QString ChineseFamily() {
  static const QString family = [] {
    const QStringList installed = QFontDatabase::families();
    const QString preferred[] = {
        QStringLiteral("宋体"),         QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),      QStringLiteral("新宋体"),
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Source Han Sans SC"),  QStringLiteral("AR PL UMing CN"),
        QStringLiteral("Droid Sans Fallback")};
    for (const QString& name : preferred) {
      if (installed.contains(name, Qt::CaseInsensitive)) return name;
    }
    for (const QString& name : installed) {
      if (QFontDatabase::writingSystems(name).contains(QFontDatabase::SimplifiedChinese)) {
        return name;
      }
    }
    return QString();
  }();
  return family;
}

namespace {
QFont ChineseFont(int pixels) {
  QFont font;
  if (!ChineseFamily().isEmpty()) font.setFamilies({ChineseFamily()});
  font.setPixelSize(pixels);
  font.setWeight(QFont::Normal);
  return font;
}
}  // namespace

QFont ControlFont() { return ChineseFont(12); }
QFont TableFont() { return ChineseFont(14); }

QLabel* MakeLabel(QWidget* parent, const QString& name, const QRect& place, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const QSize needed = label->sizeHint();
  label->setGeometry(QRect(place.topLeft(), place.size().expandedTo(needed)));
  return label;
}

QLineEdit* MakeEditBox(QWidget* parent, const QString& name, const QRect& place) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(place);
  return edit;
}

PatternBox::PatternBox(QWidget* parent) : QPlainTextEdit(parent) {
  setWordWrapMode(QTextOption::WrapAnywhere);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (!quiet_ && onUserEdit) onUserEdit();
  });
}

void PatternBox::SetTextQuietly(const QString& text) {
  quiet_ = true;
  setPlainText(text);
  quiet_ = false;
}

void PatternBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

PatternBox* MakePatternBox(QWidget* parent, const QString& name, const QRect& place) {
  auto* box = new PatternBox(parent);
  box->setObjectName(name);
  box->setGeometry(place);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QRect& place,
                        const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(place);
  button->setAutoDefault(false);
  return button;
}

QTableWidget* MakeChapterTable(QWidget* parent, const QString& name, const QRect& place) {
  auto* table = new QTableWidget(0, kChapterColumns, parent);
  table->setObjectName(name);
  table->setGeometry(place);
  table->setFont(TableFont());
  table->setHorizontalHeaderLabels({QStringLiteral("选择"), QStringLiteral("章节名"),
                                    QStringLiteral("章节网址"), QStringLiteral("下载状态")});
  table->horizontalHeaderItem(3)->setTextAlignment(Qt::AlignCenter);
  for (int column = 0; column < 3; ++column) {
    table->horizontalHeaderItem(column)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  QHeaderView* header = table->horizontalHeader();
  header->setSectionsClickable(false);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setMinimumSectionSize(0);
  header->setStretchLastSection(false);
  table->setSortingEnabled(false);
  table->setColumnWidth(0, 70);
  table->setColumnWidth(1, 300);
  table->setColumnWidth(2, 0);
  table->setColumnWidth(3, 80);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->setShowGrid(true);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  // The selected row stays marked while another control has the focus.
  QPalette palette = table->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  table->setPalette(palette);
  return table;
}

QTableWidgetItem* NewChapterCell(int column) {
  auto* item = new QTableWidgetItem;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (column == 0) {
    flags |= Qt::ItemIsUserCheckable;
    item->setCheckState(Qt::Unchecked);
  }
  item->setFlags(flags);
  item->setTextAlignment(column == 3 ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
  return item;
}

QItemSelectionModel::SelectionFlags RuleList::selectionCommand(const QModelIndex& index,
                                                               const QEvent* event) const {
  QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
  if (!index.isValid()) {
    // A click below the last entry keeps the selection.
    return flags & QItemSelectionModel::Clear ? QItemSelectionModel::NoUpdate : flags;
  }
  if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)) {
    return QItemSelectionModel::ClearAndSelect;
  }
  return flags;
}

void FitOuterSize(QWidget* window, const QSize& outer, const QSize& minClient) {
  QMargins frame;
  if (QWindow* handle = window->windowHandle()) frame = handle->frameMargins();
  // Only a frame that changed (first placement, or a window manager that
  // decorated the window once shown) changes the size; a size set since
  // then stays.
  static const char* const kFitted = "quillmereFittedFrame";
  const QVariant fitted = window->property(kFitted);
  if (fitted.isValid() && fitted.value<QMargins>() == frame) return;
  window->setProperty(kFitted, QVariant::fromValue(frame));
  const QSize client =
      (outer - QSize(frame.left() + frame.right(), frame.top() + frame.bottom())).expandedTo(minClient);
  window->setFixedSize(client);
}

}  // namespace quill::app
