#include "download/DownloadRun.h"

#include <string>

#include "text/Codec.h"
#include "text/Text.h"

namespace quill::download {
namespace {

constexpr int kWorkers = 10;
constexpr int kProcessMessages = 1;
constexpr int kPoolRunning = 1;
constexpr int kStopAtNextPacket = 2;

struct Messages {
  std::string started = text::Cp936("正在下载小说章节内容，请等候...");
  std::string merging = text::Cp936("章节内容已下载完毕，正在合并小说中...");
  std::string merged = text::Cp936("整本小说下载完毕");
  std::string mergeFailed = text::Cp936("合并失败,请手动重新合并!");
  std::string mergeFailedNotice = text::Cp936("合并失败,请手动重新合并");
  std::string downloaded = text::Cp936("章节内容已下载完毕");
  std::string reportBefore = text::Cp936("有");
  std::string reportAfter = text::Cp936("个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
  std::string done = text::Cp936("下载完毕");
  std::string caption = text::Cp936("提示");
};

const Messages& Texts() {
  static const Messages texts;
  return texts;
}

std::string FailureReport(int failed) {
  return Texts().reportBefore + std::to_string(failed) + Texts().reportAfter;
}

// Waits until every queued chapter has ended, one second at a time.
void WaitUntilIdle(pool::WorkerPool& pool, controls::MessagePump& pump) {
  while (!pool.IsIdle()) pump.PumpingWait(1, 1);
}

}  // namespace

std::string BaseAddressOf(const std::string& indexAddress) {
  int slash = text::FindLast(indexAddress, "/");
  return std::string(slash > 0 ? text::Left(indexAddress, slash - 1) : std::string_view()) + "/";
}

void DownloadRun(DownloadContext& c) {
  const Messages& m = Texts();
  controls::MainWindowView& w = c.ui.main;
  controls::Notices& notices = c.ui.notices;

  c.tasks.tableLock.Enter();  // the previous run's tasks have all ended
  c.tasks.doneCount = 0;
  c.tasks.tableLock.Leave();
  // Running from here on: starting the pool processes events, and a close
  // that arrives then finds the pool not yet running, so it cannot stop it.
  c.running = true;
  c.closeRequested = false;
  c.pool.Start(kWorkers, kProcessMessages);
  if (c.closeRequested) {
    StopPoolForShutdown(c.pool, c.ui.pump);
    c.running = false;
    return;
  }
  const int rows = w.超级列表框1.RowCount();
  c.tasks.failedCount.Exchange(0);
  w.标签4.SetCaption(m.started);
  w.编辑框2.SetText(BaseAddressOf(w.编辑框1.GetText()));
  c.files.CreateBookDirectory(w.标签_书名.Caption());
  w.按钮_下载章节内容.SetEnabled(false);
  c.ui.rules.window.SetEnabled(false);

  for (int row = 0; row < rows; ++row) {
    if (w.超级列表框1.StateImage(row) == 1)
      c.pool.Submit(extract::ChapterTaskEntry, static_cast<uint32_t>(row),
                    reinterpret_cast<uintptr_t>(&c.tasks));
    c.ui.pump.ProcessPending();
  }
  WaitUntilIdle(c.pool, c.ui.pump);
  c.running = false;
  if (c.closeRequested) return;  // the window is closing: no outcome, no notice

  w.选择框1.SetEnabled(false);
  const int failed = c.tasks.failedCount.Get();
  if (w.选择框1.IsChecked() && failed <= 0) {
    w.标签4.SetCaption(m.merging);
    if (AssembleBook(c.ui, c.files)) {
      w.按钮_下载章节内容.SetEnabled(true);
      w.标签4.SetCaption(m.merged);
      notices.ShowTimedNotice(m.caption, m.merged, 0, controls::kStyleInformation);
    } else {
      w.选择框1.SetChecked(false);
      w.按钮_下载章节内容.SetEnabled(true);
      w.按钮_合并.SetEnabled(true);
      w.标签4.SetCaption(m.mergeFailed);
      notices.ShowTimedNotice(m.caption, m.mergeFailed, 0, controls::kStyleError);
    }
  } else if (w.选择框1.IsChecked()) {
    w.选择框1.SetChecked(false);
    w.按钮_下载章节内容.SetEnabled(true);
    w.按钮_合并.SetEnabled(true);
    w.标签4.SetCaption(FailureReport(failed));
  } else {
    w.标签4.SetCaption(FailureReport(failed));
    w.按钮_下载章节内容.SetEnabled(true);
    notices.ShowTimedNotice(m.caption, m.downloaded, 0, controls::kStyleInformation);
  }
  w.选择框1.SetEnabled(true);
  c.ui.rules.window.SetEnabled(true);
}

bool AssembleBook(controls::Ui& ui, const BookFiles& files) {
  const Messages& m = Texts();
  controls::MainWindowView& w = ui.main;
  const int rows = w.超级列表框1.RowCount();
  const std::string title = w.标签_书名.Caption();
  std::string book;
  for (int row = 0; row < rows; ++row) {
    if (w.超级列表框1.Cell(row, 3) == m.done) {
      book += files.ReadChapter(title, row + 1);
      book += "\r\n\r\n";
    }
    ui.pump.ProcessPending();
  }
  return files.WriteBook(title, w.标签_作者.Caption(), book);
}

void MergeButton(controls::Ui& ui, const BookFiles& files) {
  const Messages& m = Texts();
  controls::MainWindowView& w = ui.main;
  w.按钮_合并.SetEnabled(false);
  const bool ok = AssembleBook(ui, files);
  w.标签4.SetCaption(ok ? m.merged : m.mergeFailed);
  ui.notices.ShowTimedNotice(m.caption, ok ? m.merged : m.mergeFailedNotice, 0,
                             ok ? controls::kStyleInformation : controls::kStyleError);
  w.按钮_合并.SetEnabled(true);
}

void StopPoolForShutdown(pool::WorkerPool& pool, controls::MessagePump& pump) {
  if (pool.GetState() == kPoolRunning) pool.Stop(kStopAtNextPacket);
  WaitUntilIdle(pool, pump);
}

}  // namespace quill::download
