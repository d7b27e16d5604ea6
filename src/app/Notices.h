#pragma once
// Message boxes that close themselves after a time-out. Styles are the
// Windows message-box flags (buttons in the low four bits, icon in the next
// four, default button in the next); results are the Windows button ids,
// 32000 when the time-out elapsed, 0 when no box could be shown.
#include <functional>

#include "app/AnswerScript.h"
#include "controls/Controls.h"

class QMessageBox;
class QWidget;

namespace quill::app {

struct NoticeRequest {
  controls::Text title;
  controls::Text message;
  int timeoutMs = 0;
  int style = 0;
};

class QtNotices final : public controls::Notices {
 public:
  // On the GUI thread the box is modal to the active window and the call
  // runs a nested event loop until it closes. From another thread the box
  // has no owner and is shown without blocking the GUI thread; only the
  // calling thread waits for the answer.
  int ShowTimedNotice(const controls::Text& title, const controls::Text& message, int timeoutMs,
                      int style) override;

  AnswerScript<NoticeRequest, int>& Script() { return script_; }
  void AnswerNext(int result) {
    script_.Push([result](const NoticeRequest&) { return result; });
  }

 private:
  AnswerScript<NoticeRequest, int> script_;
};

// The box a style describes, not yet shown (exposed for tests).
QMessageBox* MakeNoticeBox(const NoticeRequest& request, QWidget* owner);
// The Windows id of a Qt standard button; 0 for none.
int NoticeResultOf(int standardButton);

}  // namespace quill::app
