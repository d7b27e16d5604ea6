// Throughput of the worker pool against the simplest pool one would write
// instead: ten std::threads over one mutex-guarded queue. Both run the same
// empty task; the submitting thread queues them all, then waits until none is
// left.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "pool/WorkerPool.h"

namespace {

using Clock = std::chrono::steady_clock;
using quill::pool::TaskRoutine;

constexpr int kWorkers = 10;

void EmptyTask(std::uint32_t, std::uintptr_t) {}

class PlainPool {
 public:
  explicit PlainPool(int workers) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Run(); });
  }
  ~PlainPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quitting_ = true;
    }
    ready_.notify_all();
    for (auto& thread : threads_) thread.join();
  }

  void Submit(TaskRoutine routine, std::uint32_t argument, std::uintptr_t key) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back({routine, argument, key});
      ++outstanding_;
    }
    ready_.notify_one();
  }

  void WaitUntilDone() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return outstanding_ == 0; });
  }

 private:
  struct Task {
    TaskRoutine routine;
    std::uint32_t argument;
    std::uintptr_t key;
  };

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return quitting_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      const Task task = tasks_.front();
      tasks_.pop_front();
      lock.unlock();
      task.routine(task.argument, task.key);
      lock.lock();
      if (--outstanding_ == 0) done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable done_;
  std::deque<Task> tasks_;
  long outstanding_ = 0;
  bool quitting_ = false;
  std::vector<std::thread> threads_;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double RunWorkerPool(int tasks) {
  quill::pool::WorkerPool pool;
  if (!pool.Start(kWorkers)) {
    std::fprintf(stderr, "the worker pool did not start\n");
    std::exit(1);
  }
  const Clock::time_point begin = Clock::now();
  for (int i = 0; i < tasks; ++i) pool.Submit(&EmptyTask, static_cast<std::uint32_t>(i));
  while (!pool.IsIdle()) std::this_thread::sleep_for(std::chrono::microseconds(100));
  const double seconds = Seconds(begin);
  pool.Stop(1);
  return seconds;
}

double RunPlainPool(int tasks) {
  PlainPool pool(kWorkers);
  const Clock::time_point begin = Clock::now();
  for (int i = 0; i < tasks; ++i) pool.Submit(&EmptyTask, static_cast<std::uint32_t>(i), 0);
  pool.WaitUntilDone();
  return Seconds(begin);
}

}  // namespace

int main(int argc, char** argv) {
  const int tasks = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  std::printf("%d empty tasks, %d workers, best of %d rounds, %u hardware threads\n", tasks,
              kWorkers, rounds, std::thread::hardware_concurrency());
  double pool = 1e30;
  double plain = 1e30;
  for (int r = 0; r < rounds; ++r) {
    pool = std::min(pool, RunWorkerPool(tasks));
    plain = std::min(plain, RunPlainPool(tasks));
  }
  const double poolRate = tasks / pool;
  const double plainRate = tasks / plain;
  std::printf("WorkerPool           %12.0f tasks/s  (%.3f s)\n", poolRate, pool);
  std::printf("std::thread + mutex  %12.0f tasks/s  (%.3f s)\n", plainRate, plain);
  std::printf("ratio WorkerPool / plain  %.2f\n", poolRate / plainRate);
  return 0;
}
