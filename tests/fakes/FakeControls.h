#pragma once
// Fakes of the control interfaces: plain state behind a mutex, so tasks on
// worker threads can use them like the real adapters. Notices record what
// was asked and answer from a queue (kIdOk when the queue is empty).
#include <chrono>
#include <deque>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include "controls/Controls.h"

namespace quill::fakes {

using controls::Text;

class FakeLabel : public controls::Label {
 public:
  Text Caption() override { std::lock_guard l(m_); return caption_; }
  void SetCaption(const Text& c) override {
    std::lock_guard l(m_);
    caption_ = c;
    history_.push_back(c);
  }
  std::vector<Text> History() { std::lock_guard l(m_); return history_; }

 private:
  std::mutex m_;
  Text caption_;
  std::vector<Text> history_;
};

class FakeEditBox : public controls::EditBox {
 public:
  Text GetText() override { std::lock_guard l(m_); return text_; }
  void SetText(const Text& t) override { std::lock_guard l(m_); text_ = t; }

 private:
  std::mutex m_;
  Text text_;
};

class FakeButton : public controls::Button {
 public:
  bool IsEnabled() override { std::lock_guard l(m_); return enabled_; }
  void SetEnabled(bool e) override { std::lock_guard l(m_); enabled_ = e; }
  Text Caption() override { std::lock_guard l(m_); return caption_; }
  void SetCaption(const Text& c) override { std::lock_guard l(m_); caption_ = c; }

 private:
  std::mutex m_;
  bool enabled_ = true;
  Text caption_;
};

class FakeCheckBox : public controls::CheckBox {
 public:
  bool IsChecked() override { std::lock_guard l(m_); return checked_; }
  void SetChecked(bool c) override { std::lock_guard l(m_); checked_ = c; }
  bool IsEnabled() override { std::lock_guard l(m_); return enabled_; }
  void SetEnabled(bool e) override { std::lock_guard l(m_); enabled_ = e; }

 private:
  std::mutex m_;
  bool checked_ = true;
  bool enabled_ = true;
};

class FakeWindow : public controls::Window {
 public:
  bool IsEnabled() override { std::lock_guard l(m_); return enabled_; }
  void SetEnabled(bool e) override { std::lock_guard l(m_); enabled_ = e; }
  bool IsVisible() override { std::lock_guard l(m_); return visible_; }
  void SetVisible(bool v) override { std::lock_guard l(m_); visible_ = v; }

 private:
  std::mutex m_;
  bool enabled_ = true;
  bool visible_ = false;
};

class FakeListBox : public controls::ListBox {
 public:
  void Insert(int index, const Text& text, int value) override {
    std::lock_guard l(m_);
    if (index < 0 || index > static_cast<int>(items_.size())) index = static_cast<int>(items_.size());
    items_.insert(items_.begin() + index, {text, value});
  }
  void Remove(int index) override {
    std::lock_guard l(m_);
    if (!InRange(index)) return;
    items_.erase(items_.begin() + index);
    if (current_ >= static_cast<int>(items_.size())) current_ = -1;
  }
  void SetItemText(int index, const Text& text) override {
    std::lock_guard l(m_);
    if (InRange(index)) items_[index].text = text;
  }
  void Select(int index) override { std::lock_guard l(m_); current_ = InRange(index) ? index : -1; }
  int Count() override { std::lock_guard l(m_); return static_cast<int>(items_.size()); }
  int CurrentIndex() override { std::lock_guard l(m_); return current_; }
  Text ItemText(int index) override { std::lock_guard l(m_); return InRange(index) ? items_[index].text : Text(); }
  int ItemValue(int index) override { std::lock_guard l(m_); return InRange(index) ? items_[index].value : -1; }
  bool IsEnabled() override { std::lock_guard l(m_); return enabled_; }
  void SetEnabled(bool e) override { std::lock_guard l(m_); enabled_ = e; }

 private:
  struct Item { Text text; int value; };
  bool InRange(int i) const { return i >= 0 && i < static_cast<int>(items_.size()); }
  std::mutex m_;
  std::vector<Item> items_;
  int current_ = -1;
  bool enabled_ = true;
};

class FakeChapterTable : public controls::ChapterTable {
 public:
  int RowCount() override { std::lock_guard l(m_); return static_cast<int>(rows_.size()); }
  void Clear() override { std::lock_guard l(m_); rows_.clear(); }
  int AppendRow(const Text& column0) override {
    std::lock_guard l(m_);
    rows_.push_back(Row{{column0, {}, {}, {}}, 0});
    return static_cast<int>(rows_.size()) - 1;
  }
  Text Cell(int row, int column) override {
    std::lock_guard l(m_);
    return InRange(row, column) ? rows_[row].cells[column] : Text();
  }
  void SetCell(int row, int column, const Text& text) override {
    std::lock_guard l(m_);
    if (InRange(row, column)) rows_[row].cells[column] = text;
  }
  int StateImage(int row) override { std::lock_guard l(m_); return InRange(row, 0) ? rows_[row].state : 0; }
  void SetStateImage(int row, int state) override {
    std::lock_guard l(m_);
    if (InRange(row, 0)) rows_[row].state = state;
  }
  void SelectRow(int row) override { std::lock_guard l(m_); selected_ = row; }
  void ScrollTo(int) override {}
  int SelectedRow() { std::lock_guard l(m_); return selected_; }

 private:
  struct Row { Text cells[4]; int state; };
  bool InRange(int row, int column) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) && column >= 0 && column < 4;
  }
  std::mutex m_;
  std::vector<Row> rows_;
  int selected_ = -1;
};

struct NoticeCall {
  Text title, message;
  int timeoutMs, style;
};

class FakeNotices : public controls::Notices {
 public:
  int ShowTimedNotice(const Text& title, const Text& message, int timeoutMs, int style) override {
    std::lock_guard l(m_);
    calls_.push_back({title, message, timeoutMs, style});
    if (answers_.empty()) return controls::kIdOk;
    int a = answers_.front();
    answers_.pop_front();
    return a;
  }
  void Answer(int result) { std::lock_guard l(m_); answers_.push_back(result); }
  std::vector<NoticeCall> Calls() { std::lock_guard l(m_); return calls_; }

 private:
  std::mutex m_;
  std::deque<int> answers_;
  std::vector<NoticeCall> calls_;
};

class FakeInputBox : public controls::InputBox {
 public:
  bool Ask(const Text& prompt, const Text& title, const Text& initial, Text& answer) override {
    std::lock_guard l(m_);
    asked_.push_back({prompt, title, initial});
    if (answers_.empty()) return false;
    auto [ok, text] = answers_.front();
    answers_.pop_front();
    answer = text;
    return ok;
  }
  void Answer(bool ok, const Text& text) { std::lock_guard l(m_); answers_.push_back({ok, text}); }
  struct Asked { Text prompt, title, initial; };
  std::vector<Asked> AskedSoFar() { std::lock_guard l(m_); return asked_; }

 private:
  std::mutex m_;
  std::deque<std::pair<bool, Text>> answers_;
  std::vector<Asked> asked_;
};

// No event loop to run: waiting is sleeping, pending events are none.
class FakePump : public controls::MessagePump {
 public:
  void ProcessPending() override {}
  bool PumpingWait(int amount, int unit) override {
    long long perUnit = unit == 0 ? 1 : unit == 1 ? 1000 : unit == 2 ? 60000 : unit == 3 ? 3600000 : unit;
    // Tests poll often; a tenth of the asked time keeps them quick.
    std::this_thread::sleep_for(std::chrono::milliseconds(amount * perUnit / 10));
    return true;
  }
};

// All controls of both windows with the initial states of a fresh start.
struct FakeUi {
  FakeEditBox 编辑框1, 编辑框2;
  FakeLabel 标签_书名, 标签_作者, 标签4;
  FakeChapterTable table;
  FakeButton fetch, download, merge;
  FakeCheckBox 选择框1;
  FakeWindow rulesWindow;
  FakeListBox 列表框1;
  FakeEditBox 网址, 列表正则, 小说名正则, 小说作者正则, 章节内容左, 章节内容右;
  FakeButton 修改, 增加, 删除;
  FakeNotices notices;
  FakePump pump;

  controls::MainWindowView main{编辑框1, 编辑框2, 标签_书名, 标签_作者, 标签4, table,
                                fetch, download, merge, 选择框1};
  controls::RulesWindowView rules{rulesWindow, 列表框1, 网址, 列表正则, 小说名正则, 小说作者正则,
                                  章节内容左, 章节内容右, 修改, 增加, 删除};
  controls::Ui ui{main, rules, notices, pump};

  FakeUi() { merge.SetEnabled(false); }
};

}  // namespace quill::fakes
