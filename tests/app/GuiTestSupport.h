#pragma once
// Helpers for driving the real widgets: a scratch rule file, finding
// controls by name, and reacting to boxes that a call is about to show.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/Notices.h"
#include "app/Pump.h"
#include "rules/RuleStore.h"

namespace quill::app::testing_support {

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A rule file in a directory of its own, removed after the test.
struct ScratchRules {
  QTemporaryDir dir;
  std::filesystem::path file;
  rules::RuleStore store;

  ScratchRules()
      : file(std::filesystem::path(dir.path().toStdString()) / u8"下载配置.xml"), store(file) {}
  std::string Bytes() const { return ReadBytes(file); }
};

template <class T>
T* Find(QWidget* root, const QString& name) {
  T* found = root->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name.toStdString();
  return found;
}

// Processes events until `done` holds or `ms` have passed; true when it held.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

// The visible top-level dialog of type T, or null.
template <class T>
T* OpenDialog() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) return d;
  }
  return nullptr;
}

// Once a dialog of type T shows up (for instance inside the nested loop of
// the call that opens it), hands it to `act`. A dialog that `act` leaves
// open, or one that never shows up, is closed after `giveUpMs` so that a
// faulty test fails instead of hanging.
template <class T>
void WhenShown(std::function<void(T*)> act, int giveUpMs = 5000) {
  auto* poll = new QTimer(QCoreApplication::instance());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, act, giveUpMs] {
    if (T* dialog = OpenDialog<T>()) {
      poll->deleteLater();
      poll->stop();
      act(dialog);
      if (QPointer<T> still = dialog; still && still->isVisible()) {
        QTimer::singleShot(giveUpMs, still, [still] {
          if (still) still->done(QDialog::Rejected);
        });
      }
    } else if (clock->elapsed() > giveUpMs) {
      ADD_FAILURE() << "no dialog showed up";
      poll->stop();
      poll->deleteLater();
    }
  });
  poll->start(10);
}

}  // namespace quill::app::testing_support
