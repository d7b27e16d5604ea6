#pragma once
// Process-wide set-up shared by the program, its tests and its screenshot
// tool.
class QApplication;

namespace quill::app {

// Fusion style (the same look everywhere) and a font that shows Chinese.
void SetUpApplication(QApplication& app);

}  // namespace quill::app
