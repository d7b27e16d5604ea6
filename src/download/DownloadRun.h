#pragma once
// The download button, the merge button and the pool's stop at shut-down:
// everything here runs on the GUI thread.
#include <atomic>

#include "controls/Controls.h"
#include "download/BookFiles.h"
#include "extract/ChapterTask.h"
#include "pool/WorkerPool.h"

namespace quill::download {

struct DownloadContext {
  controls::Ui& ui;
  pool::WorkerPool& pool;                // DownloadPool
  extract::ChapterTaskContext& tasks;    // FailedCount, TableLock, DoneCount
  const BookFiles& files;
  // Set while a run starts the pool and waits for its chapters. A close
  // request that arrives meanwhile sets closeRequested and stops the pool;
  // the run then ends quietly once the running chapters are done and leaves
  // closing the window to its caller.
  bool running = false;
  bool closeRequested = false;
};

// The base address of a run: the index address up to and including its last "/".
std::string BaseAddressOf(const std::string& indexAddress);

void DownloadRun(DownloadContext& context);

// Joins the chapter files of every "下载完毕" row in table order into the book
// file; true when the book file was written.
bool AssembleBook(controls::Ui& ui, const BookFiles& files);

void MergeButton(controls::Ui& ui, const BookFiles& files);

// Stops the pool, if it runs, and waits with events processed until the
// chapters being downloaded have ended; queued ones are not run.
void StopPoolForShutdown(pool::WorkerPool& pool, controls::MessagePump& pump);

}  // namespace quill::download
