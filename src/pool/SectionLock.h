#pragma once
// The lock the chapter tasks share. The owning thread may enter again; it must
// leave as often as it entered before anyone else gets in.
#include <mutex>

namespace quill::pool {

class SectionLock {
 public:
  SectionLock() = default;
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // Never waits: true when the calling thread now holds the lock.
  bool TryEnter() { return mutex_.try_lock(); }

  // So that std::lock_guard and std::scoped_lock can hold it too.
  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace quill::pool
