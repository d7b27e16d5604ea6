#include "app/InputBox.h"

#include <QInputDialog>
#include <QLineEdit>

#include "app/GuiThread.h"
#include "app/QtText.h"

namespace quill::app {

QtInputBox::QtInputBox(QWidget* owner) : owner_(owner) {}

QInputDialog* MakeInputDialog(const InputRequest& request, QWidget* owner) {
  auto* dialog = new QInputDialog(owner);
  dialog->setInputMode(QInputDialog::TextInput);
  dialog->setTextEchoMode(QLineEdit::Normal);
  dialog->setWindowTitle(ToQt(request.title));
  dialog->setLabelText(ToQtLines(request.prompt));
  dialog->setTextValue(ToQt(request.initial));
  dialog->setOkButtonText(QStringLiteral("确认输入(&O)"));
  dialog->setCancelButtonText(QStringLiteral("取消(&C)"));
  dialog->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
  return dialog;
}

bool QtInputBox::Ask(const controls::Text& prompt, const controls::Text& title,
                     const controls::Text& initial, controls::Text& answer) {
  const InputRequest request{prompt, title, initial};
  if (std::optional<std::optional<controls::Text>> scripted = script_.Take(request)) {
    if (!*scripted) return false;
    answer = **scripted;
    return true;
  }
  return OnGuiThread([&] {
    QPointer<QInputDialog> dialog = MakeInputDialog(request, owner_);
    const bool confirmed = dialog->exec() == QDialog::Accepted;
    // The owner may have gone, taking the dialog with it, during exec().
    if (!dialog) return false;
    if (confirmed) answer = ToCp936(dialog->textValue());
    delete dialog;
    return confirmed;
  });
}

}  // namespace quill::app
