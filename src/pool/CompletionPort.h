#pragma once
// The queue the pool's workers wait on. It behaves like a completion port that
// no file is bound to: packets go out strictly in the order they were posted,
// each to exactly one waiter, and closing it wakes every waiter with a failure.
// A closed port can be opened again, empty, so that its owner never has to
// free it under a thread that might still post to it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace quill::pool {

struct Packet {
  std::uint32_t bytesTransferred = 0;
  std::uintptr_t key = 0;
  std::uintptr_t overlapped = 0;
};

class CompletionPort {
 public:
  CompletionPort() = default;
  CompletionPort(const CompletionPort&) = delete;
  CompletionPort& operator=(const CompletionPort&) = delete;

  // False once the port is closed: the packet is not queued.
  bool Post(const Packet& packet) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return false;
      packets_.push_back(packet);
    }
    ready_.notify_one();
    return true;
  }

  // Waits for the next packet. False when the port is or becomes closed;
  // packets still queued at that moment are dropped, as a closed port's are.
  bool Get(Packet& packet) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !packets_.empty(); });
    if (closed_) return false;
    packet = packets_.front();
    packets_.pop_front();
    return true;
  }

  // Returns the packets nobody took, so that the owner can account for them.
  std::deque<Packet> Close() {
    std::deque<Packet> left;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      left.swap(packets_);
    }
    ready_.notify_all();
    return left;
  }

  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Packet> packets_;
  bool closed_ = false;
};

}  // namespace quill::pool
