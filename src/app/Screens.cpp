// Shows both windows as the program starts, then once more with a few
// chapters listed, and saves what the X server displays as PNG files in
// the directory named on the command line. Run it under an X server (see
// scripts/screens.sh); the rule file is created in the working directory.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

#include "app/GuiThread.h"
#include "app/MainWindow.h"
#include "app/Notices.h"
#include "app/Program.h"
#include "app/Pump.h"
#include "app/RulesWindow.h"
#include "rules/RuleStore.h"
#include "text/Codec.h"

namespace {

void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
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

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillmere_screens OUTPUT_DIR\n");
    return 2;
  }
  quill::app::SetUpApplication(app);
  quill::app::GuiThread guiThread;
  quill::app::QtNotices notices;
  quill::app::QtMessagePump pump;
  quill::rules::RuleStore store(quill::rules::DefaultRuleFilePath());
  quill::app::MainWindow window(store, notices, pump);
  window.show();
  window.ToggleRulesWindow();
  Settle(1500);

  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QRect both = window.frameGeometry().united(window.Rules()->frameGeometry()).adjusted(-10, -10, 10, 10);
  bool ok = Save(both, out.filePath(QStringLiteral("windows.png")));

  using quill::text::Cp936;
  quill::controls::MainWindowView& view = window.View();
  view.标签_书名.SetCaption(Cp936("示例小说"));
  view.标签_作者.SetCaption(Cp936("佚名"));
  view.标签4.SetCaption(Cp936("小说章节名获取完毕"));
  const char* titles[] = {"第一章 山雨欲来", "第二章 夜行", "第三章 旧城", "第四章 归途"};
  const char* states[] = {"下载完毕", "正在下载", "重试下载2", "等待下载"};
  for (int i = 0; i < 4; ++i) {
    const int row = view.超级列表框1.AppendRow(std::to_string(i + 1));
    view.超级列表框1.SetCell(row, 1, Cp936(titles[i]));
    view.超级列表框1.SetCell(row, 2, "/book/1/" + std::to_string(i + 1) + ".html");
    view.超级列表框1.SetCell(row, 3, Cp936(states[i]));
    view.超级列表框1.SetStateImage(row, i == 0 ? 0 : 1);
  }
  view.超级列表框1.SelectRow(1);
  Settle(800);
  ok = Save(both, out.filePath(QStringLiteral("chapters.png"))) && ok;

  window.DestroyRulesWindow();
  return ok ? 0 : 1;
}
