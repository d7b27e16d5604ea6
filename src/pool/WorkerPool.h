#pragma once
// A fixed set of worker threads that all wait on one completion port. A task
// is a routine with a 32-bit argument and a pointer-sized key (the caller's
// context); it travels as one packet and whichever worker is free runs it.
//
// The counters are kept so that the GUI thread can poll IsIdle without taking
// a lock: a task is counted as queued before it is posted and as busy before
// it stops counting as queued, so IsIdle is never true while a task is on its
// way from the queue to a worker.
//
// Start, Stop and the setup calls belong to one controlling thread (the GUI
// thread); Submit and the queries may be called from any thread.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "pool/CompletionPort.h"
#include "pool/MethodThunk.h"

namespace quill::pool {

using TaskRoutine = void (*)(std::uint32_t argument, std::uintptr_t key);

// The stack size a worker asks for: 0 (the system's default) when none or 0 is
// given, 8192 for anything else below 8192, otherwise rounded down to a
// multiple of 4096. The system may still raise it to its own minimum.
int WorkerStackSize(std::optional<int> requested);

class WorkerPool {
  // Runs on every worker thread, entered through the pool's method thunk.
  void WorkerLoop();

 public:
  enum State : std::int32_t { kStopped = 0, kRunning = 1, kStarting = 2, kStopping = 3 };

  WorkerPool();
  // Stops without waiting for queued tasks, then returns once no worker can
  // touch the pool any more: each one leaves at its next packet, after the task
  // it is running, if any, has returned.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Thread count: 5 when not given, at least 1. Process messages: 1 = run the
  // message pump after each thread created and while waiting for them to
  // announce themselves. True when this call started the pool.
  bool Start(std::optional<int> threadCount = {}, std::optional<int> processMessages = {},
             std::optional<int> stackSize = {});
  // Modes: 0 drop the queued tasks and wait, 1 run them and wait, 2 drop them
  // and return, 3 run them and return (anything else counts as 0). A time-out
  // above 0 bounds the waiting modes; the stop goes on without the caller when
  // it passes. True when the pool was stopped already, when the stop was only
  // requested, or when it ended in time; false while starting or stopping, or
  // when the time-out passed.
  bool Stop(std::optional<int> mode = {}, std::optional<int> timeoutMs = {},
            std::optional<int> processMessages = {});
  // Queues a task; false when the pool is not running or there is no routine.
  bool Submit(TaskRoutine routine, std::optional<std::uint32_t> argument = {},
              std::optional<std::uintptr_t> key = {});
  bool SubmitAddress(std::uintptr_t routine, std::optional<std::uint32_t> argument = {},
                     std::optional<std::uintptr_t> key = {});

  int IdleWorkers() const;
  int BusyCount() const;
  int QueuedCount() const;
  int WorkerCount() const;
  bool IsIdle() const;
  int GetState() const;

  // What "process pending window messages" means for Start and Stop; it runs
  // on the thread that called them. Does nothing until one is installed.
  void SetMessagePump(std::function<void()> processPending);

  // For BuildMethodThunk: method 1 is WorkerLoop.
  static constexpr auto ThunkMethods() { return MakeThunkMethodTable<&WorkerPool::WorkerLoop>(); }

 private:
  class Signal;

  bool CreateWorker(std::size_t stackSize);
  void ClosePort();
  void ProcessPending();
  void PostQuitPackets(int count, bool processMessages);

  std::uintptr_t entry_ = 0;
  // Closed while the pool is stopped. It lives as long as the pool, so a
  // Submit racing with the end of a stop meets a closed port, never a freed one.
  CompletionPort port_;
  std::atomic<std::int32_t> state_{kStopped};
  std::atomic<std::int32_t> run_{0};
  std::atomic<std::int32_t> workers_{0};
  std::atomic<std::int32_t> busy_{0};
  std::atomic<std::int32_t> queued_{0};
  std::shared_ptr<Signal> signal_;  // guarded by mutex_

  // Task packets taken while the run flag was 0 and dropped unrun. Queued
  // keeps counting them until the last worker settles the account, so that
  // it drops to 0 only when the pool has stopped; settling by subtraction
  // rather than by a reset keeps a Submit racing with the stop exact.
  std::atomic<std::int32_t> dropped_{0};

  // Threads created and not yet gone, announced or not. The last of them
  // cleans up; the destructor waits for none to be left.
  int threads_ = 0;  // guarded by mutex_
  std::condition_variable threadsGone_;
  std::mutex mutex_;
  std::function<void()> processPending_;
};

}  // namespace quill::pool
