#include "pool/WorkerPool.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace quill::pool {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t kQuitBytes = 0xFFFFFFFFu;
constexpr std::uintptr_t kQuitKey = static_cast<std::uintptr_t>(-1);
constexpr std::uintptr_t kQuitOverlapped = static_cast<std::uintptr_t>(-2);

constexpr milliseconds kSignalSlice{20};

long long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

std::size_t SystemStackMinimum() {
  const long minimum = sysconf(_SC_THREAD_STACK_MIN);
  return minimum > 0 ? static_cast<std::size_t>(minimum) : 16384;
}

}  // namespace

// An auto-reset event: one wait consumes one setting.
class WorkerPool::Signal {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    changed_.notify_one();
  }

  void Wait(milliseconds slice) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, slice, [this] { return set_; })) set_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

int WorkerStackSize(std::optional<int> requested) {
  if (!requested || *requested == 0) return 0;
  const int v = *requested;
  if (v < 8192) return 8192;
  return v - v % 4096;
}

WorkerPool::WorkerPool() : entry_(BuildMethodThunk(this, 1)) { port_.Close(); }

WorkerPool::~WorkerPool() {
  Stop(2);
  // A stop already under way may have asked for the queued tasks to run;
  // the pool is going, so they are dropped too.
  run_.store(0);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    threadsGone_.wait(lock, [this] { return threads_ == 0; });
  }
  ReleaseMethodThunk(entry_);
}

void WorkerPool::WorkerLoop() {
  workers_.fetch_add(1);
  std::shared_ptr<Signal> signal;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signal = signal_;
  }
  if (signal) signal->Set();

  Packet packet;
  bool taken = port_.Get(packet);
  while (run_.load() == 1 && packet.overlapped != kQuitOverlapped && taken) {
    busy_.fetch_add(1);
    queued_.fetch_sub(1);
    reinterpret_cast<TaskRoutine>(packet.overlapped)(packet.bytesTransferred, packet.key);
    busy_.fetch_sub(1);
    taken = port_.Get(packet);
  }
  if (taken && packet.overlapped != kQuitOverlapped) dropped_.fetch_add(1);

  workers_.fetch_sub(1);
  // The last thread to go cleans up. Nothing below the unlock touches the
  // pool, which the destructor may free as soon as it sees no thread left.
  std::lock_guard<std::mutex> lock(mutex_);
  if (--threads_ > 0) return;
  ClosePort();
  const std::shared_ptr<Signal> waiting = std::move(signal_);
  signal_.reset();
  run_.store(0);
  workers_.store(0);
  busy_.store(0);
  state_.exchange(kStopped);
  if (waiting) waiting->Set();
  threadsGone_.notify_all();
}

void WorkerPool::ClosePort() {
  // Tasks that will never run stop counting as queued: those dropped by the
  // workers and those still in the port.
  std::int32_t unrun = dropped_.exchange(0);
  for (const Packet& left : port_.Close()) {
    if (left.overlapped != kQuitOverlapped) ++unrun;
  }
  queued_.fetch_sub(unrun);
}

bool WorkerPool::CreateWorker(std::size_t stackSize) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  bool created = false;
  // Workers are never joined: the pool knows them only by its counters.
  if (pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
      (stackSize == 0 ||
       pthread_attr_setstacksize(&attributes, std::max(stackSize, SystemStackMinimum())) == 0)) {
    pthread_t thread;
    created = pthread_create(&thread, &attributes, ThunkThreadEntry(entry_),
                             ThunkThreadArgument(entry_)) == 0;
  }
  pthread_attr_destroy(&attributes);
  return created;
}

bool WorkerPool::Start(std::optional<int> threadCount, std::optional<int> processMessages,
                       std::optional<int> stackSize) {
  std::int32_t expected = kStopped;
  if (!state_.compare_exchange_strong(expected, kStarting)) return false;
  const bool pump = processMessages == 1;
  const int count = threadCount ? std::max(*threadCount, 1) : 5;
  const auto stack = static_cast<std::size_t>(WorkerStackSize(stackSize));

  // Queued is exact whenever the pool is stopped (see dropped_); it is left
  // alone so that a Submit still in flight from before keeps its account.
  port_.Open();
  run_.store(1);
  workers_.store(0);
  busy_.store(0);
  auto signal = std::make_shared<Signal>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signal_ = signal;
  }

  int created = 0;
  int failures = 0;
  for (int i = 0; i < count && entry_ != 0; ++i) {
    {
      // Counted before it exists, so that it cannot be taken for the last
      // thread while others are still to come.
      std::lock_guard<std::mutex> lock(mutex_);
      ++threads_;
    }
    if (CreateWorker(stack)) {
      ++created;
      failures = 0;
    } else {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        --threads_;
      }
      if (++failures == 5) break;
    }
    if (pump) ProcessPending();
  }

  if (created > 0) {
    const Clock::time_point begin = Clock::now();
    const long long limit = created * 10LL + 1000;
    while (workers_.load() < created && ElapsedMs(begin) < limit) {
      signal->Wait(kSignalSlice);
      if (pump) ProcessPending();
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signal_.reset();
  }

  if (workers_.load() > 0) {
    state_.store(kRunning);
    return true;
  }
  run_.store(0);
  if (created == 0) {
    ClosePort();
    state_.store(kStopped);
    return false;
  }
  // Threads exist but none has announced itself yet. Closing the port under
  // them would leave them to start on a pool that no longer expects them, so
  // they are told to leave instead; the last one puts the pool back to
  // stopped.
  state_.store(kStopping);
  PostQuitPackets(created, pump);
  return false;
}

void WorkerPool::PostQuitPackets(int count, bool processMessages) {
  for (int i = 1; i <= count; ++i) {
    port_.Post(Packet{kQuitBytes, kQuitKey, kQuitOverlapped});
    if (processMessages && i % 100 == 0) ProcessPending();
  }
}

bool WorkerPool::Stop(std::optional<int> mode, std::optional<int> timeoutMs,
                      std::optional<int> processMessages) {
  std::int32_t expected = kRunning;
  if (!state_.compare_exchange_strong(expected, kStopping)) return expected == kStopped;
  const int how = mode && *mode >= 0 && *mode <= 3 ? *mode : 0;
  const bool waits = how == 0 || how == 1;
  const bool pump = processMessages == 1;

  std::shared_ptr<Signal> signal;
  if (waits) signal = std::make_shared<Signal>();
  if (how == 0 || how == 2) run_.store(0);

  int threads = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (signal) signal_ = signal;
    // Every thread, including one created but not yet announced, needs its
    // own quit packet, or it would wait on the port for good.
    threads = threads_;
  }
  PostQuitPackets(threads, pump);
  if (!waits) return true;

  const std::int32_t timeout = timeoutMs.value_or(0);
  const Clock::time_point begin = Clock::now();
  while (state_.load() == kStopping) {
    if (timeout > 0 && ElapsedMs(begin) > timeout) return false;
    signal->Wait(kSignalSlice);
    if (pump) ProcessPending();
  }
  return true;
}

bool WorkerPool::Submit(TaskRoutine routine, std::optional<std::uint32_t> argument,
                        std::optional<std::uintptr_t> key) {
  return SubmitAddress(reinterpret_cast<std::uintptr_t>(routine), argument, key);
}

bool WorkerPool::SubmitAddress(std::uintptr_t routine, std::optional<std::uint32_t> argument,
                               std::optional<std::uintptr_t> key) {
  if (state_.load() != kRunning || routine == 0) return false;
  queued_.fetch_add(1);
  const bool posted = port_.Post(Packet{argument.value_or(0), key.value_or(0), routine});
  if (!posted) queued_.fetch_sub(1);
  return posted;
}

int WorkerPool::IdleWorkers() const { return workers_.load() - busy_.load(); }
int WorkerPool::BusyCount() const { return busy_.load(); }
int WorkerPool::QueuedCount() const { return queued_.load(); }
int WorkerPool::WorkerCount() const { return workers_.load(); }

bool WorkerPool::IsIdle() const {
  const std::int32_t queued = queued_.load();
  return queued == 0 && busy_.load() == 0;
}

int WorkerPool::GetState() const { return state_.load(); }

void WorkerPool::SetMessagePump(std::function<void()> processPending) {
  processPending_ = std::move(processPending);
}

void WorkerPool::ProcessPending() {
  if (processPending_) processPending_();
}

}  // namespace quill::pool
