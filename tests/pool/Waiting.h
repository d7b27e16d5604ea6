#pragma once
// Waits with deadlines, so that a regression fails a test instead of hanging it.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quill::pool::testing_support {

inline constexpr std::chrono::seconds kPatience{20};

// Polls a condition that nothing signals (the pool's counters are polled by
// design). True when it held before the deadline.
template <class Condition>
bool EventuallyTrue(Condition condition, std::chrono::milliseconds patience = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Tasks pass it one permit at a time; the test hands permits out.
class Gate {
 public:
  void Release(int permits = 1) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      permits_ += permits;
    }
    changed_.notify_all();
  }
  // Lets everyone through from now on.
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }

  // False when no permit came before the deadline.
  bool Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kPatience, [this] { return open_ || permits_ > 0; })) return false;
    if (!open_) --permits_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int permits_ = 0;
  bool open_ = false;
};

}  // namespace quill::pool::testing_support
