#include "app/GuiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <atomic>

namespace quill::app {

namespace {
std::atomic<GuiThread*> g_instance{nullptr};
}

GuiThread::GuiThread()
    : previous_(g_instance.exchange(this)), jobEventType_(QEvent::registerEventType()) {}

GuiThread::~GuiThread() {
  GuiThread* self = this;
  g_instance.compare_exchange_strong(self, previous_);
  std::unique_lock lock(mutex_);
  closed_ = true;
  // Callers still waiting get their call dropped instead of waiting forever,
  // and must be out of the wait before the mutex and condition go.
  for (Job* job : queue_) job->done = true;
  queue_.clear();
  finished_.notify_all();
  finished_.wait(lock, [&] { return waiting_ == 0; });
}

GuiThread* GuiThread::Instance() { return g_instance.load(); }

bool GuiThread::IsCurrent() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void GuiThread::Run(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  Job job{fn, false, nullptr};
  std::unique_lock lock(mutex_);
  if (closed_) return;
  queue_.push_back(&job);
  ++waiting_;
  // Posted under our lock: the destructor cannot slip in between, and the
  // event's allocation is ordered before its deletion on the GUI thread.
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(jobEventType_)));
  finished_.wait(lock, [&] { return job.done; });
  if (--waiting_ == 0 && closed_) finished_.notify_all();
  if (job.error) std::rethrow_exception(job.error);
}

std::size_t GuiThread::Queued() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool GuiThread::event(QEvent* e) {
  std::unique_lock lock(mutex_);
  if (e->type() != jobEventType_) {
    lock.unlock();
    return QObject::event(e);
  }
  // One wake-up may find several jobs, or none when an earlier one took them.
  while (!queue_.empty()) {
    Job* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
      job->fn();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    job->error = error;
    job->done = true;
    finished_.notify_all();
  }
  return true;
}

void RunOnGuiThread(const std::function<void()>& fn) {
  if (GuiThread* gui = g_instance.load()) {
    gui->Run(fn);
    return;
  }
  if (GuiThread::IsCurrent()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), fn, Qt::BlockingQueuedConnection);
}

}  // namespace quill::app
