#include "app/Pump.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>

#include "GuiTestSupport.h"

namespace quill::app {
namespace {

using namespace testing_support;

struct DueCase {
  int amount, unit;
  std::int64_t due;
};

void PrintTo(const DueCase& c, std::ostream* os) { *os << c.amount << " x unit " << c.unit; }

class DueTimeTest : public testing::TestWithParam<DueCase> {};

TEST_P(DueTimeTest, CountsHundredsOfNanosecondsFromNow) {
  EXPECT_EQ(DueTime(GetParam().amount, GetParam().unit), GetParam().due);
}

INSTANTIATE_TEST_SUITE_P(
    Units, DueTimeTest,
    testing::Values(DueCase{0, 0, 0}, DueCase{0, 3, 0}, DueCase{7, 0, -70000},
                    DueCase{1, 1, -10000000}, DueCase{1, 2, -600000000}, DueCase{1, 3, -36000000000},
                    DueCase{2, 500, -10000000},   // any other code is ms per unit
                    DueCase{3, -1, 30000},        // a positive due time lies in the past
                    DueCase{-1, 1, 10000000},
                    DueCase{INT_MAX, 3, INT64_MIN},  // beyond 64 bits: saturated, not undefined
                    DueCase{INT_MIN, 3, INT64_MAX}));

TEST(PumpingWait, ReturnsAtOnceWhenNothingIsToWaitFor) {
  QtMessagePump pump;
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(pump.PumpingWait());
  EXPECT_TRUE(pump.PumpingWait(0, 1));
  EXPECT_TRUE(pump.PumpingWait(-5, 1));
  EXPECT_LT(clock.elapsed(), 500);
}

struct WaitCase {
  int amount, unit, atLeastMs;
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.amount << " x unit " << c.unit; }

class PumpingWaitTest : public testing::TestWithParam<WaitCase> {};

// While it waits, timers fire and a click reaches its button.
TEST_P(PumpingWaitTest, WaitsItsTimeWhileEventsAreProcessed) {
  QtMessagePump pump;
  QPushButton button(QStringLiteral("按钮"));
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  QTimer::singleShot(20, &button, [&] { QTest::mouseClick(&button, Qt::LeftButton); });
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(pump.PumpingWait(GetParam().amount, GetParam().unit));
  EXPECT_GE(clock.elapsed(), GetParam().atLeastMs);
  EXPECT_EQ(clicks, 1);
}

INSTANTIATE_TEST_SUITE_P(Units, PumpingWaitTest,
                         testing::Values(WaitCase{150, 0, 150}, WaitCase{1, 1, 1000}, WaitCase{1, 250, 250}));

// Nested handlers may run inside the wait, as the callers expect.
TEST(PumpingWait, HandlersCanNestAnotherWait) {
  QtMessagePump pump;
  bool innerDone = false;
  QTimer::singleShot(10, [&] {
    pump.PumpingWait(50, 0);
    innerDone = true;
  });
  pump.PumpingWait(200, 0);
  EXPECT_TRUE(innerDone);
}

TEST(ProcessPending, DeliversWhatIsQueued) {
  QtMessagePump pump;
  bool delivered = false;
  QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { delivered = true; }, Qt::QueuedConnection);
  pump.ProcessPending();
  EXPECT_TRUE(delivered);
}

}  // namespace
}  // namespace quill::app
