#include "rules/RulesEditor.h"

#include "text/Codec.h"
#include "text/Text.h"

namespace quill::rules {

namespace {

using controls::kIdNo;
using controls::kIdYes;
using text::Cp936;

constexpr int kQuestionTimeoutMs = 5000;
constexpr int kDeleteNoticeTimeoutMs = 3000;

}  // namespace

RulesEditor::RulesEditor(controls::RulesWindowView& view, RuleStore& store,
                         controls::Notices& notices, controls::InputBox& input,
                         controls::MessagePump& pump)
    : view_(view), store_(store), notices_(notices), input_(input), pump_(pump) {}

controls::EditBox& RulesEditor::BoxOf(RuleField field) {
  switch (field) {
    case RuleField::siteAddress: return view_.编辑框_网址;
    case RuleField::chapterListPattern: return view_.编辑框_列表正则;
    case RuleField::titlePattern: return view_.编辑框_小说名正则;
    case RuleField::authorPattern: return view_.编辑框_小说作者正则;
    case RuleField::contentLeft: return view_.编辑框_章节内容左;
    case RuleField::contentRight: return view_.编辑框_章节内容右;
  }
  return view_.编辑框_网址;
}

void RulesEditor::Load() {
  store_.EnsureFile();
  const std::vector<Text> names = store_.ListNames();
  for (std::size_t k = 0; k < names.size(); ++k) {
    view_.列表框1.Insert(static_cast<int>(k), names[k], 0);
    // A long list must not freeze the windows while it fills.
    pump_.ProcessPending();
  }
  view_.列表框1.Select(0);
  ShowRule(store_.ReadAt(1));
}

void RulesEditor::ShowRule(const SiteRule& rule) {
  view_.编辑框_网址.SetText(rule.siteAddress);
  view_.编辑框_列表正则.SetText(rule.chapterListPattern);
  view_.编辑框_小说名正则.SetText(rule.titlePattern);
  view_.编辑框_小说作者正则.SetText(rule.authorPattern);
  view_.编辑框_章节内容左.SetText(rule.contentLeft);
  view_.编辑框_章节内容右.SetText(rule.contentRight);
}

void RulesEditor::UserSelected() {
  const int index = view_.列表框1.CurrentIndex();
  if (index < 0) return;
  ShowRule(store_.ReadByName(view_.列表框1.ItemText(index)));
}

void RulesEditor::UserEdited(RuleField field) {
  const int index = view_.列表框1.CurrentIndex();
  // Without a selected entry there is no rule to write to; calling the store
  // anyway would still rewrite (and normalise) the user's file.
  if (index < 0) return;
  store_.WriteField(index + 1, field, BoxOf(field).GetText());
}

bool RulesEditor::AddPending() { return view_.按钮_增加.Caption() == Cp936("确认增加"); }

void RulesEditor::RenameClicked() {
  view_.列表框1.SetEnabled(false);
  view_.按钮_增加.SetEnabled(false);
  view_.按钮_删除.SetEnabled(false);

  const int answer = notices_.ShowTimedNotice(
      Cp936("修改询问"),
      Cp936("是否修改规则名？\r\n修改请点击\"是\"\r\n不修改请点击\"否\"\r\n5秒后自动返回不修改规则名"),
      kQuestionTimeoutMs, controls::kStyleQuestion2);
  const int index = view_.列表框1.CurrentIndex();
  if (answer == kIdYes && index >= 0) {
    const Text current = view_.列表框1.ItemText(index);
    Text typed;
    if (input_.Ask(Cp936("请输入新的规则名称："), Cp936("修改规则名称"), current + "1", typed)) {
      const Text name = text::RemoveSpaces(typed);
      if (!name.empty() && name != current) {
        view_.列表框1.SetItemText(index, name);
        store_.Rename(index + 1, name);
      }
    }
  }

  view_.列表框1.SetEnabled(true);
  view_.按钮_增加.SetEnabled(true);
  view_.按钮_删除.SetEnabled(true);
}

void RulesEditor::DeleteClicked() {
  controls::ListBox& list = view_.列表框1;
  if (list.Count() == 1) {
    notices_.ShowTimedNotice(Cp936("删除提示"), Cp936("老大,要不要这么狠?留条活命吧!"),
                             kDeleteNoticeTimeoutMs, controls::kStyleError);
    return;
  }
  const int index = list.CurrentIndex();
  if (!store_.Remove(index + 1)) {
    notices_.ShowTimedNotice(Cp936("删除提示"), Cp936("删除失败，请重试!"),
                             kDeleteNoticeTimeoutMs, controls::kStyleInformation);
    return;
  }
  list.Remove(index);
  const int next = index > 0 ? index - 1 : 0;
  list.Select(next);
  ShowRule(store_.ReadAt(next + 1));
}

void RulesEditor::AddClicked() {
  if (AddPending()) {
    ConfirmNewRule();
  } else {
    AddNewRule();
  }
}

void RulesEditor::AddNewRule() {
  view_.列表框1.SetEnabled(false);
  view_.按钮_修改.SetEnabled(false);
  view_.按钮_删除.SetEnabled(false);
  const auto back_to_idle = [this] {
    view_.按钮_增加.SetCaption(Cp936("增加"));
    view_.列表框1.SetEnabled(true);
    view_.按钮_修改.SetEnabled(true);
    view_.按钮_删除.SetEnabled(true);
  };

  Text typed;
  if (!input_.Ask(Cp936("请输入列表框称：\r\n（不含空格）"), Cp936("输入名称"), Cp936("新规则名称"),
                  typed)) {
    back_to_idle();
    return;
  }
  const Text name = text::RemoveSpaces(typed);
  if (name.empty()) {
    back_to_idle();
    return;
  }

  // The new rule starts as a copy of the one shown, without its address.
  view_.编辑框_网址.SetText({});
  const int n = view_.列表框1.Count();
  view_.列表框1.Insert(n, name, view_.列表框1.CurrentIndex());
  view_.列表框1.Select(n);
  view_.按钮_增加.SetCaption(Cp936("确认增加"));
}

void RulesEditor::ConfirmNewRule() {
  const int answer = notices_.ShowTimedNotice(
      Cp936("确认提醒"),
      Cp936("请确认是否增加规则\r\n确认请点击\"是\"\r\n取消请点击\"否\"\r\n"
            "返回重新修改请点击\"取消\"\r\n5秒后自动返回重新修改"),
      kQuestionTimeoutMs, controls::kStyleQuestion3);
  controls::ListBox& list = view_.列表框1;
  const int last = list.Count() - 1;

  if (answer == kIdNo) {
    const int before = list.ItemValue(last);
    list.Select(before);
    list.Remove(last);
    ShowRule(store_.ReadAt(before + 1));
  } else if (answer == kIdYes) {
    SiteRule rule;
    rule.name = list.ItemText(last);
    rule.siteAddress = view_.编辑框_网址.GetText();
    rule.chapterListPattern = view_.编辑框_列表正则.GetText();
    rule.titlePattern = view_.编辑框_小说名正则.GetText();
    rule.authorPattern = view_.编辑框_小说作者正则.GetText();
    rule.contentLeft = view_.编辑框_章节内容左.GetText();
    rule.contentRight = view_.编辑框_章节内容右.GetText();
    store_.Append(rule);
  } else {
    // Cancel, no answer in time, or no box: the new rule stays pending.
    return;
  }
  view_.按钮_增加.SetCaption(Cp936("增加"));
  list.SetEnabled(true);
  view_.按钮_修改.SetEnabled(true);
  view_.按钮_删除.SetEnabled(true);
}

}  // namespace quill::rules
