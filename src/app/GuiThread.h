#pragma once
// Control operations may be called from any thread, but widgets live on the
// GUI thread. GuiThread carries a call made elsewhere over to the GUI thread
// and blocks the caller until it has run there, so calls from one thread run
// in the order they were made. On the GUI thread a call runs directly.
//
// The hand-over uses our own mutex and condition variable rather than Qt's
// blocking connection, so that ThreadSanitizer sees every hand-over.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <type_traits>

namespace quill::app {

class GuiThread : public QObject {
 public:
  // Create on the GUI thread, after the QApplication and before any window;
  // it must outlive every thread that touches a control.
  GuiThread();
  ~GuiThread() override;
  GuiThread(const GuiThread&) = delete;
  GuiThread& operator=(const GuiThread&) = delete;

  // The newest live instance; destroying it brings back the one before.
  static GuiThread* Instance();
  static bool IsCurrent();

  // Runs `fn` on the GUI thread and returns when it has finished; rethrows
  // what it threw. Once the object is being destroyed, calls are dropped.
  void Run(const std::function<void()>& fn);

  // Calls waiting for the GUI thread to pick them up.
  std::size_t Queued();

 protected:
  bool event(QEvent* e) override;

 private:
  struct Job {
    const std::function<void()>& fn;
    bool done = false;
    std::exception_ptr error;
  };

  GuiThread* previous_;
  int jobEventType_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<Job*> queue_;
  int waiting_ = 0;  // callers inside Run; the destructor lets them leave first
  bool closed_ = false;
};

// Runs `fn` on the GUI thread through the GuiThread instance (directly when
// already there).
void RunOnGuiThread(const std::function<void()>& fn);

// Same, handing back what `fn` returns; a dropped call yields R{}.
template <class F>
auto OnGuiThread(F&& fn) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if constexpr (std::is_void_v<R>) {
    RunOnGuiThread([&] { fn(); });
  } else {
    std::optional<R> result;
    RunOnGuiThread([&] { result.emplace(fn()); });
    return result ? std::move(*result) : R{};
  }
}

}  // namespace quill::app
