#include "app/Session.h"

#include "app/MainWindow.h"
#include "web/FetchPage.h"

namespace quill::app {

Session::Session(rules::RuleStore& store, controls::Notices& notices, controls::MessagePump& pump,
                 std::filesystem::path workDir, extract::PageFetcher fetch)
    : downloadPool_(std::make_unique<pool::WorkerPool>()),
      failedCount_(std::make_unique<pool::SharedCounter>()),
      tableLock_(std::make_unique<pool::SectionLock>()),
      pump_(pump),
      files_(std::move(workDir)),
      fetch_(fetch ? std::move(fetch) : [](std::string_view address) { return web::FetchPage(address); }) {
  downloadPool_->SetMessagePump([&pump] { pump.ProcessPending(); });

  window_ = std::make_unique<MainWindow>(store, notices, pump);
  controls::Ui& ui = window_->Ui();
  tasks_.reset(new extract::ChapterTaskContext{
      ui, *tableLock_, *failedCount_, doneCount_, fetch_,
      [this](const std::string& title, int rowNumber, std::string_view text) {
        files_.WriteChapter(title, rowNumber, text);
      }});
  indexFetch_.reset(new extract::IndexFetchContext{ui, fetch_});
  run_.reset(new download::DownloadContext{ui, *downloadPool_, *tasks_, files_});

  window_->onFetch = [this] { Fetch(); };
  window_->onDownload = [this] { Download(); };
  window_->onMerge = [this] { download::MergeButton(window_->Ui(), files_); };
  window_->onShutdown = [this] { Shutdown(); };
}

Session::~Session() {
  window_.reset();
  downloadPool_.reset();
  failedCount_.reset();
  tableLock_.reset();
}

void Session::Fetch() {
  ++indexFetches_;
  extract::StartIndexFetch(*indexFetch_, [this] { --indexFetches_; });
}

void Session::Download() { download::DownloadRun(*run_); }

void Session::Shutdown() {
  // A run waiting for its chapters ends quietly once they are done.
  if (run_->running) run_->closeRequested = true;
  download::StopPoolForShutdown(*downloadPool_, pump_);
}

}  // namespace quill::app
