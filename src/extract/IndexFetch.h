#pragma once
// Lists a book: the fetch button prepares the window and starts a thread
// that fetches the chapter index, runs the rule's three patterns over it and
// fills the chapter table.
#include <functional>

#include "controls/Controls.h"
#include "extract/ChapterTask.h"

namespace quill::extract {

struct IndexFetchContext {
  controls::Ui& ui;
  PageFetcher fetch;
};

// The fetch button's handler (GUI thread). Returns at once; the job runs on
// a thread of its own that nobody waits for, so `context` must outlive it.
// `finished` runs when the job no longer touches the windows (on its
// thread, or at once when no thread could be started).
void StartIndexFetch(IndexFetchContext& context, std::function<void()> finished = {});

// The job itself, on the calling thread.
void IndexFetch(IndexFetchContext& context);

}  // namespace quill::extract
