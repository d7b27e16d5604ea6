#include "app/Pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <climits>
#include <thread>

#include "app/GuiThread.h"

namespace quill::app {

namespace {

using Clock = std::chrono::steady_clock;

// When no timer can be had, or the event loops are being told to quit, the
// wait still ends at its deadline: it polls, sleeping between rounds.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

Clock::time_point DeadlineAfter(std::int64_t hundredNanoseconds) {
  const Clock::time_point now = Clock::now();
  using Ns = std::chrono::nanoseconds;
  const auto room = Clock::time_point::max() - now;
  if (hundredNanoseconds > std::chrono::duration_cast<Ns>(room).count() / 100) {
    return Clock::time_point::max();
  }
  return now + std::chrono::duration_cast<Clock::duration>(Ns(hundredNanoseconds * 100));
}

void PollUntil(Clock::time_point deadline) {
  while (Clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const auto left = deadline - Clock::now();
    std::this_thread::sleep_for(std::min<Clock::duration>(left, kPollInterval));
  }
}

void PumpUntil(Clock::time_point deadline) {
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (!timer.isActive() || loop.exec() != 0) {
      PollUntil(deadline);
      return;
    }
  }
}

}  // namespace

std::int64_t DueTime(int amount, int unit) {
  double perUnit;
  switch (unit) {
    case 0: perUnit = 1; break;
    case 1: perUnit = 1000; break;
    case 2: perUnit = 60000; break;
    case 3: perUnit = 3600000; break;
    default: perUnit = unit; break;
  }
  const double due = static_cast<double>(amount) * perUnit * -10000.0;
  // Converting a double outside the 64-bit range is undefined: saturate.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (due >= kTwo63) return INT64_MAX;
  if (due < -kTwo63) return INT64_MIN;
  return static_cast<std::int64_t>(due);
}

void QtMessagePump::ProcessPending() {
  RunOnGuiThread([] { QCoreApplication::processEvents(); });
}

bool QtMessagePump::PumpingWait(int amount, int unit) {
  const std::int64_t due = DueTime(amount, unit);
  if (due >= 0) return true;
  const std::int64_t span = due == INT64_MIN ? INT64_MAX : -due;
  const Clock::time_point deadline = DeadlineAfter(span);
  if (QCoreApplication::instance() == nullptr || !GuiThread::IsCurrent()) {
    std::this_thread::sleep_until(deadline);
  } else {
    PumpUntil(deadline);
  }
  return true;
}

}  // namespace quill::app
