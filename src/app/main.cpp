// The composition root: creates the program's objects in their order and
// wires them; no logic of its own.
#include <QApplication>

#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/Notices.h"
#include "app/Program.h"
#include "app/Pump.h"
#include "rules/RuleStore.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  quill::app::SetUpApplication(app);
  // Carries control operations from background threads; must outlive them.
  quill::app::GuiThread guiThread;

  // Download run state, before any window: the worker pool (DownloadPool),
  // the failure counter (FailedCount, 0) and the table lock (TableLock) are
  // created here, in this order, and destroyed in the same order at the end
  // of the process.

  quill::app::QtNotices notices;
  quill::app::QtMessagePump pump;
  quill::rules::RuleStore store(quill::rules::DefaultRuleFilePath());

  quill::app::MainWindow window(store, notices, pump);
  // The three action buttons' handlers are installed here:
  //   window.onFetch    (按钮_获取章节标题): the chapter-index fetch
  //   window.onDownload (按钮_下载章节内容): the download run
  //   window.onMerge    (按钮_合并): the book assembly
  // each given window.Ui() and the download run state above.
  //
  // window.onShutdown: stops the worker pool and waits, processing events,
  // until it is idle.
  window.onClosed = [] { QCoreApplication::quit(); };
  window.show();

  const int status = app.exec();
  window.DestroyRulesWindow();
  return status;
}
