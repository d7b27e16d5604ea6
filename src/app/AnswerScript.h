#pragma once
// Lets a test answer questions instead of a person: each queued responder
// answers one request, in order, and the requests it answered are kept.
// With nothing queued the real box is shown.
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace quill::app {

template <class Request, class Answer>
class AnswerScript {
 public:
  using Responder = std::function<Answer(const Request&)>;

  void Push(Responder responder) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(responder));
  }

  // The answer of the next responder, or nothing when none is queued.
  std::optional<Answer> Take(const Request& request) {
    Responder responder;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return std::nullopt;
      responder = std::move(queue_.front());
      queue_.pop_front();
      asked_.push_back(request);
    }
    return responder(request);
  }

  std::vector<Request> Asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }

  std::size_t Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    asked_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::deque<Responder> queue_;
  std::vector<Request> asked_;
};

}  // namespace quill::app
