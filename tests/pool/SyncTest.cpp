#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "pool/SectionLock.h"
#include "pool/SharedCounter.h"

namespace quill::pool {
namespace {

struct CounterCase {
  const char* what;
  std::int32_t start;
  std::function<std::int32_t(SharedCounter&)> operation;  // returns the result, or 0
  std::int32_t result;
  std::int32_t after;
};

void PrintTo(const CounterCase& c, std::ostream* os) { *os << c.what; }

class CounterTest : public testing::TestWithParam<CounterCase> {};

TEST_P(CounterTest, ChangesAndReports) {
  const CounterCase& c = GetParam();
  SharedCounter counter;
  counter.Exchange(c.start);
  EXPECT_EQ(c.operation(counter), c.result);
  EXPECT_EQ(counter.Get(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CounterTest,
    testing::Values(
        CounterCase{"compare-exchange matches", 0, [](SharedCounter& c) { return c.CompareExchange(5, 0); }, 0, 5},
        CounterCase{"compare-exchange misses", 3, [](SharedCounter& c) { return c.CompareExchange(5, 0); }, 3, 3},
        CounterCase{"subtract below zero", 1, [](SharedCounter& c) { c.Subtract(2); return 0; }, 0, -1},
        CounterCase{"add", -4, [](SharedCounter& c) { c.Add(10); return 0; }, 0, 6},
        CounterCase{"increment", 7, [](SharedCounter& c) { c.Increment(); return 0; }, 0, 8},
        CounterCase{"decrement", 7, [](SharedCounter& c) { c.Decrement(); return 0; }, 0, 6},
        CounterCase{"increment-get", 7, [](SharedCounter& c) { return c.IncrementGet(); }, 8, 8},
        CounterCase{"decrement-get", 0, [](SharedCounter& c) { return c.DecrementGet(); }, -1, -1},
        CounterCase{"increment-get wraps", INT32_MAX, [](SharedCounter& c) { return c.IncrementGet(); }, INT32_MIN, INT32_MIN},
        CounterCase{"decrement-get wraps", INT32_MIN, [](SharedCounter& c) { return c.DecrementGet(); }, INT32_MAX, INT32_MAX},
        CounterCase{"exchange", 9, [](SharedCounter& c) { return c.Exchange(0); }, 9, 0},
        CounterCase{"exchange-add", 9, [](SharedCounter& c) { return c.ExchangeAdd(-10); }, 9, -1}));

TEST(CounterTest, NoChangeIsLostBetweenThreads) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50000;
  SharedCounter counter;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        counter.Increment();
        counter.Add(3);
        counter.IncrementGet();
        counter.Subtract(2);
        counter.ExchangeAdd(1);
        counter.DecrementGet();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter.Get(), kThreads * kRounds * 3);
}

// Runs `probe` on another thread and returns what it gave.
bool FromAnotherThread(const std::function<bool()>& probe) {
  bool result = false;
  std::thread other([&] { result = probe(); });
  other.join();
  return result;
}

TEST(SectionLockTest, OwnerReentersAndOthersAreRefusedUntilItLeavesAsOften) {
  SectionLock lock;
  lock.Enter();
  EXPECT_TRUE(lock.TryEnter());  // the owner again: three holds in all
  lock.Enter();

  const auto othersTry = [&] {
    return FromAnotherThread([&] {
      const bool entered = lock.TryEnter();
      if (entered) lock.Leave();
      return entered;
    });
  };
  EXPECT_FALSE(othersTry());
  lock.Leave();
  lock.Leave();
  EXPECT_FALSE(othersTry());
  lock.Leave();
  EXPECT_TRUE(othersTry());
}

TEST(SectionLockTest, KeepsOthersOutWhileHeld) {
  SectionLock lock;
  long long shared = 0;  // plain on purpose: the lock alone must protect it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.Enter();
        ++shared;
        lock.Leave();
        std::lock_guard<SectionLock> guard(lock);
        ++shared;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared, 4 * 20000 * 2);
}

}  // namespace
}  // namespace quill::pool
