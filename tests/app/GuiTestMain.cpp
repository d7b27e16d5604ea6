// GoogleTest over a real QApplication. Without a display the widgets are
// drawn off screen.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/GuiThread.h"
#include "app/Program.h"

// Qt is not built for ThreadSanitizer, which therefore misses Qt's own
// futex-based locks: the buffers that Qt's internal thread pool hands
// between its threads (image conversion while painting) would be reported
// as racing. GLib, under Qt's event dispatcher, is not built for it either:
// the memory one of Qt's pooled threads frees at its end looks like a race
// with the thread that used it before. Only calls made from inside Qt and
// GLib are ignored; our code and the memory it touches stay checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libglib-2.0.so.0\n";
}

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
