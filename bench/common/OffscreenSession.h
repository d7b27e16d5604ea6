#pragma once
// The whole program for a benchmark: both windows off screen, the real
// request routine, the real Session, notices answered at once, and clocks
// for the GUI thread and the process.
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/Notices.h"
#include "app/Program.h"
#include "app/Pump.h"
#include "app/Session.h"
#include "rules/RuleStore.h"
#include "web/FetchPage.h"

namespace quill::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU seconds of the calling thread, and of the whole process.
inline double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}
inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// Context switches of the whole process, voluntary or not.
inline long ContextSwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

// A line of /proc/self/status in kilobytes ("VmRSS", "VmHWM").
inline long StatusKb(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

// Processes events until `done` holds; false after `limit`. A short timer
// looks at `done`: everything else that arrives (control operations from
// other threads) wakes the loop by itself.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done() || Clock::now() > deadline) loop.quit();
  });
  poll.start(1);
  if (!done()) loop.exec();
  return done();
}

// The application, with a clock on every event the GUI thread handles:
// control operations carried over from other threads, painting, and the rest.
class TimedApplication : public QApplication {
 public:
  enum Kind { kControlOperation, kPainting, kOther, kKinds };
  struct Tally {
    long events = 0;
    double seconds = 0;
  };

  TimedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    if (!timing_ || depth_ > 0) return QApplication::notify(receiver, event);
    Kind kind = kOther;
    if (receiver == app::GuiThread::Instance()) kind = kControlOperation;
    else if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint ||
             event->type() == QEvent::UpdateLater)
      kind = kPainting;
    ++depth_;
    const Clock::time_point start = Clock::now();
    const bool handled = QApplication::notify(receiver, event);
    tally_[kind].seconds += Seconds(Clock::now() - start);
    ++tally_[kind].events;
    --depth_;
    return handled;
  }

  void StartTiming() {
    for (Tally& t : tally_) t = {};
    timing_ = true;
  }
  void StopTiming() { timing_ = false; }
  const Tally& Of(Kind kind) const { return tally_[kind]; }

  void Print() const {
    const char* names[] = {"control operations", "painting", "other events"};
    for (int k = 0; k < kKinds; ++k)
      std::printf("  GUI thread, %-20s %8ld events, %.3f s\n", names[k], tally_[k].events, tally_[k].seconds);
  }

 private:
  bool timing_ = false;
  int depth_ = 0;
  Tally tally_[kKinds];
};

// QUILLMERE_BENCH_HIDDEN=1 in the environment leaves the windows unshown, so
// that nothing is painted: the difference is what painting costs.
class OffscreenSession {
 public:
  explicit OffscreenSession(const std::filesystem::path& work)
      : store_(work / u8"下载配置.xml"), session_(store_, notices_, pump_, work) {
    if (!std::getenv("QUILLMERE_BENCH_HIDDEN")) session_.Window().show();
  }

  app::Session& Session() { return session_; }
  app::MainWindow& Window() { return session_.Window(); }
  app::QtNotices& Notices() { return notices_; }
  QPushButton* Button(const char16_t* name) {
    return Window().findChild<QPushButton*>(QString::fromUtf16(name));
  }

 private:
  app::QtNotices notices_;
  app::QtMessagePump pump_;
  rules::RuleStore store_;
  app::Session session_;
};

// Once per process, before the QApplication: no display needed, and the
// off-screen platform's remarks on window placement kept out of the figures.
inline void UseOffscreenPlatform() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
  });
}

inline std::filesystem::path MakeWorkDirectory(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

}  // namespace quill::bench
