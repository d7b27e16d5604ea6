#pragma once
// One running program: the download run state, the main window with the
// rules window, and the jobs behind the three action buttons, wired
// together. The program's main and the end-to-end tests both build one.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "controls/Controls.h"
#include "download/BookFiles.h"
#include "download/DownloadRun.h"
#include "extract/ChapterTask.h"
#include "extract/IndexFetch.h"
#include "pool/SectionLock.h"
#include "pool/SharedCounter.h"
#include "pool/WorkerPool.h"
#include "rules/RuleStore.h"

namespace quill::app {

class MainWindow;

class Session {
 public:
  // `workDir` holds the book directories and book files; `fetch` gets pages
  // (the real request routine unless a test passes another).
  Session(rules::RuleStore& store, controls::Notices& notices, controls::MessagePump& pump,
          std::filesystem::path workDir, extract::PageFetcher fetch = {});
  // Ends the window first, then the pool, the counter and the lock, in the
  // order they were made.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  MainWindow& Window() { return *window_; }
  pool::WorkerPool& DownloadPool() { return *downloadPool_; }
  // Whether an index fetch's thread may still be using the windows.
  bool IndexFetchRunning() const { return indexFetches_.load() > 0; }

 private:
  void Fetch();
  void Download();
  void Shutdown();

  // Created before any window, in this order.
  std::unique_ptr<pool::WorkerPool> downloadPool_;
  std::unique_ptr<pool::SharedCounter> failedCount_;
  std::unique_ptr<pool::SectionLock> tableLock_;
  std::int32_t doneCount_ = 0;

  controls::MessagePump& pump_;
  download::BookFiles files_;
  extract::PageFetcher fetch_;
  std::atomic<int> indexFetches_{0};
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<extract::ChapterTaskContext> tasks_;
  std::unique_ptr<extract::IndexFetchContext> indexFetch_;
  std::unique_ptr<download::DownloadContext> run_;
};

}  // namespace quill::app
