#include "app/Notices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/GuiThread.h"
#include "app/QtText.h"

namespace quill::app {

namespace {

using controls::kNotShown;
using controls::kTimedOut;

QMessageBox::Icon IconOf(int style) {
  switch (style & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case 0x20: return QMessageBox::Question;
    case 0x30: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QList<QMessageBox::StandardButton> ButtonsOf(int style) {
  switch (style & 0x0F) {
    case 1: return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case 4: return {QMessageBox::Yes, QMessageBox::No};
    case 5: return {QMessageBox::Retry, QMessageBox::Cancel};
    default: return {QMessageBox::Ok};
  }
}

// How one box ends. Written on the GUI thread, read by the asking thread.
struct Outcome {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  int result = kNotShown;
  QPointer<QMessageBox> box;  // GUI thread only

  void Finish(int value) {
    std::lock_guard lock(mutex);
    if (done) return;
    done = true;
    result = value;
    answered.notify_all();
  }
  bool IsDone() {
    std::lock_guard lock(mutex);
    return done;
  }
};

// GUI thread: shows the box and arranges for `outcome` to learn its end.
void OpenBox(const NoticeRequest& request, QWidget* owner, const std::shared_ptr<Outcome>& outcome) {
  QMessageBox* box = MakeNoticeBox(request, owner);
  outcome->box = box;
  QObject::connect(box, &QDialog::finished, box, [box, outcome] {
    QAbstractButton* pressed = box->clickedButton();
    // Closed by its close box or Esc: the answer the escape button gives.
    if (pressed == nullptr) pressed = box->escapeButton();
    outcome->Finish(pressed ? NoticeResultOf(box->standardButton(pressed)) : controls::kIdCancel);
    box->deleteLater();
  });
  // Gone with its owner before anyone answered.
  QObject::connect(box, &QObject::destroyed, [outcome] { outcome->Finish(kNotShown); });
  if (request.timeoutMs > 0) {
    auto* timer = new QTimer(box);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, box, [box, outcome] {
      outcome->Finish(kTimedOut);
      box->done(0);
    });
    timer->start(request.timeoutMs);
  }
  box->show();
}

int ShowOnGuiThread(const NoticeRequest& request) {
  auto outcome = std::make_shared<Outcome>();
  // Another box (one just answered and not yet deleted, or one a
  // background thread is waiting on) must not own the new one, or the new
  // box would go with it: the owner is that box's own owner.
  QWidget* owner = QApplication::activeWindow();
  while (qobject_cast<QMessageBox*>(owner)) {
    owner = owner->parentWidget() ? owner->parentWidget()->window() : nullptr;
  }
  if (owner && !owner->isVisible()) owner = nullptr;
  OpenBox(request, owner, outcome);
  if (!outcome->IsDone()) {
    QEventLoop loop;
    QObject::connect(outcome->box, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(outcome->box, &QObject::destroyed, &loop, &QEventLoop::quit);
    // Returns at once while the application is quitting.
    loop.exec();
  }
  if (!outcome->IsDone()) {
    outcome->Finish(kNotShown);
    if (outcome->box) outcome->box->deleteLater();
  }
  std::lock_guard lock(outcome->mutex);
  return outcome->result;
}

int ShowFromOtherThread(const NoticeRequest& request) {
  auto outcome = std::make_shared<Outcome>();
  bool opened = false;
  RunOnGuiThread([&] {
    OpenBox(request, nullptr, outcome);
    opened = true;
  });
  if (!opened) return kNotShown;

  std::unique_lock lock(outcome->mutex);
  if (request.timeoutMs <= 0) {
    outcome->answered.wait(lock, [&] { return outcome->done; });
    return outcome->result;
  }
  // The box's own timer answers; this deadline only guards against a GUI
  // thread that stopped dispatching.
  const auto grace = std::chrono::milliseconds(request.timeoutMs) + std::chrono::seconds(2);
  if (!outcome->answered.wait_for(lock, grace, [&] { return outcome->done; })) {
    outcome->done = true;
    outcome->result = kTimedOut;
    lock.unlock();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [outcome] { if (outcome->box) outcome->box->deleteLater(); },
        Qt::QueuedConnection);
    return kTimedOut;
  }
  return outcome->result;
}

}  // namespace

QMessageBox* MakeNoticeBox(const NoticeRequest& request, QWidget* owner) {
  auto* box = new QMessageBox(owner);
  box->setIcon(IconOf(request.style));
  box->setWindowTitle(ToQt(request.title));
  box->setTextFormat(Qt::PlainText);
  box->setText(ToQtLines(request.message));
  const QList<QMessageBox::StandardButton> buttons = ButtonsOf(request.style);
  for (QMessageBox::StandardButton b : buttons) box->addButton(b);
  const int defaultIndex = (request.style >> 8) & 0x0F;
  box->setDefaultButton(buttons.value(defaultIndex, buttons.front()));
  // An owner is disabled while its box is up, as Windows does; a box
  // without one leaves every window usable.
  box->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
  return box;
}

int NoticeResultOf(int standardButton) {
  switch (standardButton) {
    case QMessageBox::Ok: return controls::kIdOk;
    case QMessageBox::Cancel: return controls::kIdCancel;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return controls::kIdYes;
    case QMessageBox::No: return controls::kIdNo;
    default: return kNotShown;
  }
}

int QtNotices::ShowTimedNotice(const controls::Text& title, const controls::Text& message,
                               int timeoutMs, int style) {
  const NoticeRequest request{title, message, timeoutMs, style};
  if (std::optional<int> scripted = script_.Take(request)) return *scripted;
  if (QApplication::instance() == nullptr || QCoreApplication::closingDown()) return kNotShown;
  return GuiThread::IsCurrent() ? ShowOnGuiThread(request) : ShowFromOtherThread(request);
}

}  // namespace quill::app
