#pragma once
// Downloads one chapter on a pool worker: fetch with up to three attempts,
// cut between the rule's markers, clean, save, and report in the row.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "controls/Controls.h"
#include "pool/SectionLock.h"
#include "pool/SharedCounter.h"

namespace quill::extract {

// Returns a page's body bytes, empty when it was not obtained.
using PageFetcher = std::function<std::string(std::string_view address)>;
// Saves a chapter's text as the file of row number `rowNumber` (from 1) in
// the directory of the book `bookTitle`; replaces an earlier file.
using ChapterSaver = std::function<void(const std::string& bookTitle, int rowNumber, std::string_view text)>;

// What every chapter task of the program shares.
struct ChapterTaskContext {
  controls::Ui& ui;
  pool::SectionLock& tableLock;
  pool::SharedCounter& failedCount;
  int32_t& doneCount;  // changed only while tableLock is held
  PageFetcher fetch;
  ChapterSaver save;
};

void ChapterTask(ChapterTaskContext& context, int row);

// The pool's routine: the argument is the row, the key the context.
void ChapterTaskEntry(uint32_t row, uintptr_t context);

}  // namespace quill::extract
