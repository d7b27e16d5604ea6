// GoogleTest over a real QApplication. Without a display the widgets are
// drawn off screen.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/GuiThread.h"
#include "app/Program.h"

namespace {

// The off-screen platform says so each time a window is sized or raised.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietOffscreen);
  QApplication app(argc, argv);
  quill::app::SetUpApplication(app);
  quill::app::GuiThread guiThread;
  return RUN_ALL_TESTS();
}
