#include "app/Program.h"

#include <QApplication>
#include <QStyleFactory>

#include "app/Widgets.h"

namespace quill::app {

void SetUpApplication(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  app.setFont(ControlFont());
  // Only the main window's close ends the program; the rules window may
  // still be showing then.
  app.setQuitOnLastWindowClosed(false);
}

}  // namespace quill::app
