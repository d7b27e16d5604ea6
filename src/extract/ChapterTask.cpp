#include "extract/ChapterTask.h"

#include "extract/Charset.h"
#include "extract/Cleanup.h"
#include "text/Codec.h"
#include "text/Text.h"
#include "web/PageDecoding.h"
#include "web/TextHelpers.h"

namespace quill::extract {
namespace {

constexpr int kAttempts = 3;
constexpr int kStatusColumn = 3;

class TableLockGuard {
 public:
  explicit TableLockGuard(pool::SectionLock& lock) : lock_(lock) { lock_.Enter(); }
  ~TableLockGuard() { lock_.Leave(); }
  TableLockGuard(const TableLockGuard&) = delete;
  TableLockGuard& operator=(const TableLockGuard&) = delete;

 private:
  pool::SectionLock& lock_;
};

struct Statuses {
  std::string downloading = text::Cp936("正在下载");
  std::string retrying = text::Cp936("重试下载");
  std::string failed = text::Cp936("失败3次");
  std::string done = text::Cp936("下载完毕");
  std::string progress = text::Cp936("个章节内容已下载，请等候章节内容下载完毕...");
};

const Statuses& Texts() {
  static const Statuses texts;
  return texts;
}

}  // namespace

void ChapterTask(ChapterTaskContext& c, int row) {
  controls::ChapterTable& table = c.ui.main.超级列表框1;
  const Statuses& s = Texts();
  {
    // Two tasks starting together must not interleave select and scroll.
    TableLockGuard lock(c.tableLock);
    table.SelectRow(row);
    table.ScrollTo(row);
  }

  const std::string address = c.ui.main.编辑框2.GetText() + table.Cell(row, 2);
  const std::string title = table.Cell(row, 1);

  std::string page;
  for (int attempt = 1; attempt <= kAttempts && page.empty(); ++attempt) {
    table.SetCell(row, kStatusColumn, attempt == 1 ? s.downloading : s.retrying + std::to_string(attempt));
    page = std::string(text::UpToZero(c.fetch(address)));
  }
  if (page.empty()) {
    table.SetCell(row, kStatusColumn, s.failed);
    c.failedCount.Increment();
    return;
  }

  if (DeclaresUtf8(page)) page = web::Utf8ToLocal(page);
  const std::string left = c.ui.rules.编辑框_章节内容左.GetText();
  const std::string right = c.ui.rules.编辑框_章节内容右.GetText();
  std::string chapter = title + "\r\n" + web::TextBetween(page, left, right);
  CleanChapterText(chapter);
  c.save(c.ui.main.标签_书名.Caption(), row + 1, chapter);

  table.SetStateImage(row, 0);
  table.SetCell(row, kStatusColumn, s.done);
  TableLockGuard lock(c.tableLock);
  ++c.doneCount;
  c.ui.main.标签4.SetCaption(std::to_string(c.doneCount) + s.progress);
}

void ChapterTaskEntry(uint32_t row, uintptr_t context) {
  ChapterTask(*reinterpret_cast<ChapterTaskContext*>(context), static_cast<int>(row));
}

}  // namespace quill::extract
