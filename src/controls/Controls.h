#pragma once
// Operations the logic performs on the windows' controls. Texts cross this
// seam as code-page-936 bytes. Any operation may be called from any thread:
// an implementation carries a call made off the GUI thread out synchronously
// on the GUI thread, in call order, and runs it directly when already there.
// A program's own setting of a text or selection never counts as the user's.
#include <string>

namespace quill::controls {

using Text = std::string;

class Label {
 public:
  virtual ~Label() = default;
  virtual Text Caption() = 0;
  virtual void SetCaption(const Text& caption) = 0;
};

class EditBox {
 public:
  virtual ~EditBox() = default;
  virtual Text GetText() = 0;
  virtual void SetText(const Text& text) = 0;
};

class Button {
 public:
  virtual ~Button() = default;
  virtual bool IsEnabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual Text Caption() = 0;
  virtual void SetCaption(const Text& caption) = 0;
};

class CheckBox {
 public:
  virtual ~CheckBox() = default;
  virtual bool IsChecked() = 0;
  // Does not raise the box's clicked event.
  virtual void SetChecked(bool checked) = 0;
  virtual bool IsEnabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

// A list box whose entries each carry an integer; indexes count from 0.
class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void Insert(int index, const Text& text, int value) = 0;
  virtual void Remove(int index) = 0;
  // Keeps the entry's place, integer and selection.
  virtual void SetItemText(int index, const Text& text) = 0;
  // Does not raise the selection event.
  virtual void Select(int index) = 0;
  virtual int Count() = 0;
  virtual int CurrentIndex() = 0;          // -1 when none
  virtual Text ItemText(int index) = 0;    // empty when out of range
  virtual int ItemValue(int index) = 0;    // -1 when out of range
  virtual bool IsEnabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

// The report list of chapters: rows from 0; column 0 number, 1 title,
// 2 captured address, 3 status. State image 1 is checked, 0 unchecked.
class ChapterTable {
 public:
  virtual ~ChapterTable() = default;
  virtual int RowCount() = 0;
  virtual void Clear() = 0;
  // Returns the new row's index, which is the old count.
  virtual int AppendRow(const Text& column0) = 0;
  virtual Text Cell(int row, int column) = 0;
  virtual void SetCell(int row, int column, const Text& text) = 0;
  virtual int StateImage(int row) = 0;
  virtual void SetStateImage(int row, int state) = 0;
  virtual void SelectRow(int row) = 0;  // selected and focused
  virtual void ScrollTo(int row) = 0;
};

// A top-level window as a whole; disabling it keeps its controls' own states.
class Window {
 public:
  virtual ~Window() = default;
  virtual bool IsEnabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsVisible() = 0;
  virtual void SetVisible(bool visible) = 0;
};

// Message-box styles and results the program uses.
enum NoticeStyle : int {
  kStyleError = 16,        // error icon, OK
  kStyleQuestion3 = 35,    // yes, no, cancel; question icon
  kStyleQuestion2 = 36,    // yes, no; question icon
  kStyleInformation = 64,  // information icon, OK
};
enum NoticeResult : int {
  kNotShown = 0,
  kIdOk = 1,
  kIdCancel = 2,
  kIdYes = 6,
  kIdNo = 7,
  kTimedOut = 32000,
};

class Notices {
 public:
  virtual ~Notices() = default;
  // Shows a box that closes itself after `timeoutMs` (0: waits for the user)
  // and returns the NoticeResult. On the GUI thread it is modal to the active
  // window; from another thread it stands alone and blocks only that thread.
  virtual int ShowTimedNotice(const Text& title, const Text& message, int timeoutMs, int style) = 0;
};

class InputBox {
 public:
  virtual ~InputBox() = default;
  // Modal one-line input owned by the rules window ("确认输入(&O)", "取消(&C)").
  // Returns whether the user confirmed; `answer` receives the text.
  virtual bool Ask(const Text& prompt, const Text& title, const Text& initial, Text& answer) = 0;
};

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Processes the GUI thread's pending events and returns.
  virtual void ProcessPending() = 0;
  // Waits amount units (0 ms, 1 s, 2 min, 3 h, other codes: ms per unit)
  // while events keep being processed. GUI thread only. Always true.
  virtual bool PumpingWait(int amount = 0, int unit = 0) = 0;
};

// The controls of the main window that the logic uses.
struct MainWindowView {
  EditBox& 编辑框1;   // chapter-index address
  EditBox& 编辑框2;   // hidden holder of the run's base address
  Label& 标签_书名;
  Label& 标签_作者;
  Label& 标签4;       // status line
  ChapterTable& 超级列表框1;
  Button& 按钮_获取章节标题;
  Button& 按钮_下载章节内容;
  Button& 按钮_合并;
  CheckBox& 选择框1;  // merge automatically after a download
};

// The rules window; its six edit boxes are the rule in force.
struct RulesWindowView {
  Window& window;
  ListBox& 列表框1;
  EditBox& 编辑框_网址;
  EditBox& 编辑框_列表正则;
  EditBox& 编辑框_小说名正则;
  EditBox& 编辑框_小说作者正则;
  EditBox& 编辑框_章节内容左;
  EditBox& 编辑框_章节内容右;
  Button& 按钮_修改;
  Button& 按钮_增加;
  Button& 按钮_删除;
};

// Everything a job needs to reach the user.
struct Ui {
  MainWindowView& main;
  RulesWindowView& rules;
  Notices& notices;
  MessagePump& pump;
};

}  // namespace quill::controls
