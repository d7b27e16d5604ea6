// Walks through a newcomer's first book against the local sample site and
// saves what the X server displays after each step as PNG files: the windows
// at start, the address pasted with the rules shown, the chapter list, and
// the finished download. Run it under an X server (see scripts/screens.sh)
// in a scratch directory: the rule file and the book land there.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/Notices.h"
#include "app/Program.h"
#include "app/Pump.h"
#include "app/RulesWindow.h"
#include "app/Session.h"
#include "rules/RuleStore.h"
#include "text/Codec.h"
#include "web/FetchPage.h"

namespace {

void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool SettleUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  Settle(500);
  return true;
}

bool Save(const QRect& area, const QString& file) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  if (!shot.save(file, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
    return false;
  }
  return true;
}

QPushButton* Button(QWidget* root, const char16_t* name) {
  return root->findChild<QPushButton*>(QString::fromUtf16(name));
}

}  // namespace

int main(int argc, char* argv[]) {
  quill::web::InitWeb();
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillmere_screens OUTPUT_DIR INDEX_ADDRESS\n");
    return 2;
  }
  quill::app::SetUpApplication(app);
  quill::app::GuiThread guiThread;
  quill::app::QtNotices notices;
  quill::app::QtMessagePump pump;
  // Every notice of the walk-through is answered at once.
  for (int i = 0; i < 8; ++i) notices.AnswerNext(quill::controls::kIdOk);
  quill::rules::RuleStore store(quill::rules::DefaultRuleFilePath());
  quill::app::Session session(store, notices, pump, ".");
  quill::app::MainWindow& window = session.Window();
  window.show();
  Settle(1500);

  const QDir out(QString::fromLocal8Bit(argv[1]));
  auto both = [&] {
    return window.frameGeometry().united(window.Rules()->frameGeometry()).adjusted(-10, -10, 10, 10);
  };
  bool ok = Save(both(), out.filePath(QStringLiteral("1-start.png")));

  quill::controls::MainWindowView& view = window.View();
  view.编辑框1.SetText(argv[2]);
  window.ToggleRulesWindow();
  Settle(800);
  ok = Save(both(), out.filePath(QStringLiteral("2-address-and-rule.png"))) && ok;

  Button(&window, u"按钮_获取章节标题")->click();
  ok = SettleUntil([&] { return view.超级列表框1.RowCount() > 0 && view.按钮_获取章节标题.IsEnabled(); },
                   20000) && ok;
  ok = Save(both(), out.filePath(QStringLiteral("3-chapters.png"))) && ok;

  const std::string merged = quill::text::Cp936("整本小说下载完毕");
  QTimer::singleShot(0, &window, [&] { Button(&window, u"按钮_下载章节内容")->click(); });
  ok = SettleUntil([&] { return view.标签4.Caption() == merged; }, 60000) && ok;
  ok = Save(both(), out.filePath(QStringLiteral("4-downloaded.png"))) && ok;

  window.close();
  Settle(300);
  window.DestroyRulesWindow();
  return ok ? 0 : 1;
}
