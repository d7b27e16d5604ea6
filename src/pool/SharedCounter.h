#pragma once
// A 32-bit counter that any thread may change at any time. Every change is a
// sequentially consistent read-modify-write and wraps around like the
// processor's own arithmetic; Get is a plain read for polling.
#include <atomic>
#include <cstdint>

namespace quill::pool {

class SharedCounter {
 public:
  SharedCounter() = default;
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;

  void Increment() { value_.fetch_add(1, std::memory_order_seq_cst); }
  void Decrement() { value_.fetch_sub(1, std::memory_order_seq_cst); }
  void Add(std::int32_t n) { value_.fetch_add(n, std::memory_order_seq_cst); }
  void Subtract(std::int32_t n) { value_.fetch_sub(n, std::memory_order_seq_cst); }

  std::int32_t Get() const { return value_.load(std::memory_order_relaxed); }

  // The new value.
  std::int32_t IncrementGet() { return Wrap(value_.fetch_add(1, std::memory_order_seq_cst), 1); }
  std::int32_t DecrementGet() { return Wrap(value_.fetch_sub(1, std::memory_order_seq_cst), -1); }

  // The previous value.
  std::int32_t Exchange(std::int32_t v) { return value_.exchange(v, std::memory_order_seq_cst); }
  std::int32_t ExchangeAdd(std::int32_t n) { return value_.fetch_add(n, std::memory_order_seq_cst); }
  // Stores v only when the value equals comparand.
  std::int32_t CompareExchange(std::int32_t v, std::int32_t comparand) {
    value_.compare_exchange_strong(comparand, v, std::memory_order_seq_cst);
    return comparand;
  }

 private:
  // The atomic wraps; recomputing the new value must wrap the same way rather
  // than overflow a signed int.
  static std::int32_t Wrap(std::int32_t previous, std::int32_t delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(previous) +
                                     static_cast<std::uint32_t>(delta));
  }

  std::atomic<std::int32_t> value_{0};
};

}  // namespace quill::pool
