#pragma once
// The modal one-line input box of the rules window.
#include <QPointer>

#include <optional>

#include "app/AnswerScript.h"
#include "controls/Controls.h"

class QInputDialog;
class QWidget;

namespace quill::app {

struct InputRequest {
  controls::Text prompt;
  controls::Text title;
  controls::Text initial;
};

class QtInputBox final : public controls::InputBox {
 public:
  explicit QtInputBox(QWidget* owner);

  bool Ask(const controls::Text& prompt, const controls::Text& title,
           const controls::Text& initial, controls::Text& answer) override;

  // A scripted answer: the text confirmed, or nothing for a cancel.
  AnswerScript<InputRequest, std::optional<controls::Text>>& Script() { return script_; }
  void AnswerNext(std::optional<controls::Text> answer) {
    script_.Push([answer](const InputRequest&) { return answer; });
  }

 private:
  QPointer<QWidget> owner_;
  AnswerScript<InputRequest, std::optional<controls::Text>> script_;
};

// The dialog Ask shows, not yet shown (exposed for tests).
QInputDialog* MakeInputDialog(const InputRequest& request, QWidget* owner);

}  // namespace quill::app
