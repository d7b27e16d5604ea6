#pragma once
// What the rules window does: it shows the rule in force in its six edit
// boxes, stores the user's own edits keystroke by keystroke, and renames,
// deletes and adds rules. Entry i of the list and rule i + 1 of the file are
// kept in step. The window forwards only the user's actions here; what the
// program sets itself never writes to the file.
#include "controls/Controls.h"
#include "rules/RuleStore.h"

namespace quill::rules {

class RulesEditor {
 public:
  RulesEditor(controls::RulesWindowView& view, RuleStore& store, controls::Notices& notices,
              controls::InputBox& input, controls::MessagePump& pump);

  // Start-up: creates the rule file when it is missing, lists the rule names
  // (entries carry 0), selects the first entry and shows the first rule.
  void Load();

  // Fills the six boxes; writes nothing.
  void ShowRule(const SiteRule& rule);

  // The user selected an entry: shows the first rule of that name.
  void UserSelected();
  // The user changed a box: its whole text goes to the selected rule's field.
  void UserEdited(RuleField field);

  void RenameClicked();
  void DeleteClicked();
  // First press names a new rule; while one is pending, asks to confirm it.
  void AddClicked();

  // The add button's caption is the add state.
  bool AddPending();

  controls::EditBox& BoxOf(RuleField field);

 private:
  void AddNewRule();
  void ConfirmNewRule();

  controls::RulesWindowView& view_;
  RuleStore& store_;
  controls::Notices& notices_;
  controls::InputBox& input_;
  controls::MessagePump& pump_;
};

}  // namespace quill::rules
