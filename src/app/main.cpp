// The composition root: creates the program's objects in their order and
// wires them; no logic of its own.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/Notices.h"
#include "app/Program.h"
#include "app/Pump.h"
#include "app/Session.h"
#include "rules/RuleStore.h"
#include "web/FetchPage.h"

int main(int argc, char* argv[]) {
  // Network set-up happens once, before any thread can fetch.
  quill::web::InitWeb();
  QApplication app(argc, argv);
  quill::app::SetUpApplication(app);
  // Carries control operations from background threads; must outlive them.
  quill::app::GuiThread guiThread;

  quill::app::QtNotices notices;
  quill::app::QtMessagePump pump;
  quill::rules::RuleStore store(quill::rules::DefaultRuleFilePath());

  // The download pool, the failure counter and the table lock come first,
  // then the windows; the books go to the working directory.
  quill::app::Session session(store, notices, pump, ".");
  quill::app::MainWindow& window = session.Window();
  window.onClosed = [] { QCoreApplication::quit(); };
  window.show();

  const int status = app.exec();
  window.DestroyRulesWindow();
  if (session.IndexFetchRunning()) {
    // An index fetch is not waited for; its thread still holds the
    // windows, so leave without tearing them down under it. It writes no
    // file, and everything else has been saved already.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
