#include "pool/WorkerPool.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "Waiting.h"

#if defined(__SANITIZE_THREAD__)
#define QUILL_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUILL_UNDER_TSAN 1
#endif
#endif

namespace quill::pool {
namespace {

using testing_support::EventuallyTrue;
using testing_support::Gate;

// What the tasks of one test share; it reaches them through the task key.
struct Work {
  Gate gate;
  std::atomic<int> ran{0};
  std::atomic<int> inside{0};
  std::atomic<long long> argumentSum{0};
  std::atomic<int> gateTimeouts{0};
  std::atomic<long long> stackSize{0};
  std::atomic<bool> destroyed{false};
  std::atomic<bool> endedAfterDestruction{false};

  std::uintptr_t Key() { return reinterpret_cast<std::uintptr_t>(this); }
  static Work& From(std::uintptr_t key) { return *reinterpret_cast<Work*>(key); }
};

void Count(std::uint32_t argument, std::uintptr_t key) {
  Work& work = Work::From(key);
  ++work.inside;
  work.argumentSum += argument;
  ++work.ran;
  --work.inside;
}

// Waits at the gate; counts as run only once through it.
void Held(std::uint32_t, std::uintptr_t key) {
  Work& work = Work::From(key);
  ++work.inside;
  if (!work.gate.Pass()) ++work.gateTimeouts;
  if (work.destroyed.load()) work.endedAfterDestruction = true;
  ++work.ran;
  --work.inside;
}

void ReportStackSize(std::uint32_t, std::uintptr_t key) {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* base = nullptr;
  std::size_t size = 0;
  pthread_attr_getstack(&attributes, &base, &size);
  pthread_attr_destroy(&attributes);
  Work::From(key).stackSize = static_cast<long long>(size);
}

class WorkerPoolTest : public testing::Test {
 protected:
  // The gate must be open before the pool goes, or its destructor would wait
  // for a held task until the gate gives up.
  void TearDown() override { work.gate.Open(); }

  bool SubmitCounted(int n) {
    for (int i = 0; i < n; ++i) {
      if (!pool.Submit(&Count, static_cast<std::uint32_t>(i), work.Key())) return false;
    }
    return true;
  }

  Work work;  // declared first: outlives the pool and its workers
  WorkerPool pool;
};

// ---- starting --------------------------------------------------------------

struct CountCase {
  std::optional<int> requested;
  int expected;
};
void PrintTo(const CountCase& c, std::ostream* os) {
  *os << (c.requested ? std::to_string(*c.requested) : "none") << " -> " << c.expected;
}

class StartCountTest : public WorkerPoolTest, public testing::WithParamInterface<CountCase> {};

TEST_P(StartCountTest, MakesThatManyWorkers) {
  ASSERT_TRUE(pool.Start(GetParam().requested));
  EXPECT_EQ(pool.GetState(), WorkerPool::kRunning);
  ASSERT_TRUE(EventuallyTrue([&] { return pool.WorkerCount() == GetParam().expected; }))
      << pool.WorkerCount();
  EXPECT_EQ(pool.IdleWorkers(), GetParam().expected);
  EXPECT_TRUE(pool.IsIdle());
  EXPECT_TRUE(pool.Stop(1, 10000));
  EXPECT_EQ(pool.GetState(), WorkerPool::kStopped);
  EXPECT_EQ(pool.WorkerCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, StartCountTest,
                         testing::Values(CountCase{std::nullopt, 5}, CountCase{0, 1},
                                         CountCase{-3, 1}, CountCase{3, 3}));

struct StackCase {
  std::optional<int> requested;
  int expected;
};
void PrintTo(const StackCase& c, std::ostream* os) {
  *os << (c.requested ? std::to_string(*c.requested) : "none") << " -> " << c.expected;
}

class StackSizeTest : public testing::TestWithParam<StackCase> {};

TEST_P(StackSizeTest, RoundsTheRequest) {
  EXPECT_EQ(WorkerStackSize(GetParam().requested), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Requests, StackSizeTest,
                         testing::Values(StackCase{std::nullopt, 0}, StackCase{0, 0},
                                         StackCase{100, 8192}, StackCase{-5, 8192},
                                         StackCase{8191, 8192}, StackCase{8192, 8192},
                                         StackCase{20000, 16384}, StackCase{12288, 12288},
                                         StackCase{(1 << 20) + 5, 1 << 20}));

TEST_F(WorkerPoolTest, WorkersRunOnTheRequestedStack) {
  const auto systemMinimum = static_cast<long long>(sysconf(_SC_THREAD_STACK_MIN));
  for (int requested : {20000, 100, 200000}) {
    SCOPED_TRACE(requested);
    work.stackSize = 0;
    ASSERT_TRUE(pool.Start(1, {}, requested));
    ASSERT_TRUE(pool.Submit(&ReportStackSize, {}, work.Key()));
    ASSERT_TRUE(pool.Stop(1, 10000));
    const long long expected = std::max<long long>(WorkerStackSize(requested), systemMinimum);
#if defined(QUILL_UNDER_TSAN)
    EXPECT_GE(work.stackSize.load(), expected);  // the sanitizer enlarges small stacks
#else
    EXPECT_EQ(work.stackSize.load(), expected);
#endif
  }
}

TEST_F(WorkerPoolTest, RefusesToStartAgainWhileRunningOrStarting) {
  int pumped = 0;
  bool startedInside = true;
  bool stoppedInside = true;
  pool.SetMessagePump([&] {
    // Window events run inside Start's waits; a nested Start or Stop must not
    // get through.
    if (pumped++ == 0) {
      startedInside = pool.Start(4);
      stoppedInside = pool.Stop(1);
    }
  });
  ASSERT_TRUE(pool.Start(3, 1));
  EXPECT_GT(pumped, 0);
  EXPECT_FALSE(startedInside);
  EXPECT_FALSE(stoppedInside);

  EXPECT_FALSE(pool.Start(7));
  EXPECT_EQ(pool.GetState(), WorkerPool::kRunning);
  EXPECT_TRUE(EventuallyTrue([&] { return pool.WorkerCount() == 3; }));
  ASSERT_TRUE(SubmitCounted(10));
  EXPECT_TRUE(pool.Stop(1, 10000));
  EXPECT_EQ(work.ran.load(), 10);
}

// ---- idle ------------------------------------------------------------------

TEST_F(WorkerPoolTest, IsIdleOnlyOnceTheLastTaskHasReturned) {
  ASSERT_TRUE(pool.Start(10));
  ASSERT_TRUE(EventuallyTrue([&] { return pool.WorkerCount() == 10; }));
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(pool.Submit(&Held, {}, work.Key()));
  ASSERT_TRUE(EventuallyTrue([&] { return pool.BusyCount() == 10 && pool.QueuedCount() == 50; }));
  EXPECT_FALSE(pool.IsIdle());
  EXPECT_EQ(pool.IdleWorkers(), 0);

  work.gate.Release(59);
  ASSERT_TRUE(EventuallyTrue([&] { return work.ran.load() == 59; }));
  ASSERT_TRUE(EventuallyTrue([&] { return pool.QueuedCount() == 0 && pool.BusyCount() == 1; }));
  EXPECT_FALSE(pool.IsIdle());

  work.gate.Release(1);
  // Poll as the download run does: whenever idle is seen, every task is done.
  bool idle = false;
  const bool seen = EventuallyTrue([&] {
    idle = pool.IsIdle();
    if (idle) {
      EXPECT_EQ(work.ran.load(), 60);
    }
    return idle;
  });
  EXPECT_TRUE(seen);
  EXPECT_EQ(work.gateTimeouts.load(), 0);
}

// ---- stopping ----------------------------------------------------------------

struct StopCase {
  const char* what;
  int mode;
  bool waits;      // returns only when the pool has stopped
  int queuedRun;   // how many of the 20 queued tasks run
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.what; }

class StopModeTest : public WorkerPoolTest, public testing::WithParamInterface<StopCase> {};

// One worker is held in a task while 20 more wait in the queue.
TEST_P(StopModeTest, RunsOrDropsTheQueuedTasks) {
  const StopCase& c = GetParam();
  ASSERT_TRUE(pool.Start(1));
  ASSERT_TRUE(pool.Submit(&Held, {}, work.Key()));
  ASSERT_TRUE(EventuallyTrue([&] { return pool.BusyCount() == 1; }));
  ASSERT_TRUE(SubmitCounted(20));

  if (c.waits) {
    // Let the held task go only from inside Stop's wait, so a Stop that waits
    // for nothing is caught.
    pool.SetMessagePump([&] { work.gate.Open(); });
    EXPECT_TRUE(pool.Stop(c.mode, 10000, 1));
    EXPECT_EQ(pool.GetState(), WorkerPool::kStopped);
  } else {
    // Returns while the held task cannot have ended.
    EXPECT_TRUE(pool.Stop(c.mode, 10000, 1));
    EXPECT_EQ(pool.GetState(), WorkerPool::kStopping);
    EXPECT_FALSE(pool.IsIdle());
    EXPECT_FALSE(pool.Submit(&Count, {}, work.Key()));
    work.gate.Open();
    ASSERT_TRUE(EventuallyTrue([&] { return pool.GetState() == WorkerPool::kStopped; }));
  }
  EXPECT_TRUE(pool.IsIdle());
  EXPECT_EQ(pool.WorkerCount(), 0);
  EXPECT_EQ(pool.QueuedCount(), 0);
  EXPECT_EQ(work.ran.load(), 1 + c.queuedRun);
  EXPECT_EQ(work.gateTimeouts.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, StopModeTest,
                         testing::Values(StopCase{"drop and wait", 0, true, 0},
                                         StopCase{"run and wait", 1, true, 20},
                                         StopCase{"drop and return", 2, false, 0},
                                         StopCase{"run and return", 3, false, 20},
                                         StopCase{"unknown mode drops and waits", 9, true, 0}),
                         [](const auto& info) { return "Mode" + std::to_string(info.param.mode); });

TEST_F(WorkerPoolTest, StopThatTimesOutLetsTheStopFinishAlone) {
  ASSERT_TRUE(pool.Start(1));
  ASSERT_TRUE(pool.Submit(&Held, {}, work.Key()));
  ASSERT_TRUE(SubmitCounted(5));
  EXPECT_FALSE(pool.Stop(1, 30));
  EXPECT_EQ(pool.GetState(), WorkerPool::kStopping);
  EXPECT_FALSE(pool.Stop(1));  // already stopping
  EXPECT_FALSE(pool.Start());

  work.gate.Open();
  ASSERT_TRUE(EventuallyTrue([&] { return pool.GetState() == WorkerPool::kStopped; }));
  EXPECT_EQ(work.ran.load(), 6);
  EXPECT_TRUE(pool.Stop());
}

TEST_F(WorkerPoolTest, PumpsMessagesAfterEveryHundredthQuitPacket) {
  ASSERT_TRUE(pool.Start(150, {}, 16384));
  ASSERT_TRUE(EventuallyTrue([&] { return pool.WorkerCount() == 150; }));
  int pumped = 0;
  pool.SetMessagePump([&] { ++pumped; });
  EXPECT_TRUE(pool.Stop(2, {}, 1));
  EXPECT_EQ(pumped, 1);
  EXPECT_TRUE(EventuallyTrue([&] { return pool.GetState() == WorkerPool::kStopped; }));
}

TEST_F(WorkerPoolTest, StoppedPoolRefusesTasksAndStartsAgain) {
  EXPECT_TRUE(pool.Stop());
  EXPECT_FALSE(pool.Submit(&Count, 1, work.Key()));

  ASSERT_TRUE(pool.Start(2));
  EXPECT_FALSE(pool.Submit(nullptr, 1, work.Key()));
  EXPECT_FALSE(pool.SubmitAddress(0, 1, work.Key()));
  ASSERT_TRUE(SubmitCounted(3));
  EXPECT_TRUE(pool.Stop(1, 10000));
  EXPECT_FALSE(pool.Submit(&Count, 1, work.Key()));
  EXPECT_EQ(work.ran.load(), 3);

  work.ran = 0;
  work.argumentSum = 0;
  ASSERT_TRUE(pool.Start(4));
  constexpr int kTasks = 5000;
  for (int i = 0; i < kTasks; ++i) {
    ASSERT_TRUE(pool.SubmitAddress(reinterpret_cast<std::uintptr_t>(&Count),
                                   static_cast<std::uint32_t>(i), work.Key()));
  }
  EXPECT_TRUE(pool.Stop(1, 20000));
  EXPECT_EQ(work.ran.load(), kTasks);
  EXPECT_EQ(work.argumentSum.load(), static_cast<long long>(kTasks) * (kTasks - 1) / 2);
}

TEST_F(WorkerPoolTest, SubmitsRacingWithStopsLeaveTheCountExact) {
  std::atomic<bool> done{false};
  std::thread submitter([&] {
    while (!done.load()) pool.Submit(&Count, 1, work.Key());
  });
  int rounds = 0;
  for (; rounds < 40; ++rounds) {
    if (!pool.Start(2)) break;
    if (!pool.Stop(rounds % 2 == 0 ? 2 : 0, 10000)) break;
    if (!EventuallyTrue([&] { return pool.GetState() == WorkerPool::kStopped; })) break;
  }
  done = true;
  submitter.join();
  EXPECT_EQ(rounds, 40);
  EXPECT_EQ(pool.QueuedCount(), 0);
  EXPECT_TRUE(pool.IsIdle());
}

// ---- destruction -------------------------------------------------------------

TEST_F(WorkerPoolTest, DestroyingARunningPoolWaitsForItsWorkersToLeave) {
  for (int round = 0; round < 20; ++round) {
    auto doomed = std::make_unique<WorkerPool>();
    ASSERT_TRUE(doomed->Start(10));
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(doomed->Submit(&Count, 1, work.Key()));
    doomed.reset();
    EXPECT_EQ(work.inside.load(), 0) << "a task outlived its pool";
  }
}

TEST_F(WorkerPoolTest, DestructionWaitsForTheRunningTask) {
  auto doomed = std::make_unique<WorkerPool>();
  ASSERT_TRUE(doomed->Start(2));
  ASSERT_TRUE(doomed->Submit(&Held, {}, work.Key()));
  ASSERT_TRUE(EventuallyTrue([&] { return work.inside.load() == 1; }));

  std::thread destroyer([&] {
    doomed.reset();
    work.destroyed = true;
  });
  EXPECT_FALSE(EventuallyTrue([&] { return work.destroyed.load(); }, std::chrono::milliseconds(100)));
  work.gate.Open();
  EXPECT_TRUE(EventuallyTrue([&] { return work.destroyed.load(); }));
  destroyer.join();
  EXPECT_FALSE(work.endedAfterDestruction.load());
  EXPECT_EQ(work.ran.load(), 1);
}

}  // namespace
}  // namespace quill::pool
