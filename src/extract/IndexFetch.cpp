#include "extract/IndexFetch.h"

#include <string>
#include <system_error>
#include <thread>

#include "extract/Charset.h"
#include "extract/RegexObject.h"
#include "text/Codec.h"
#include "text/Text.h"
#include "web/PageDecoding.h"

namespace quill::extract {
namespace {

constexpr int kNoticeMs = 3000;

struct Messages {
  std::string fetching = text::Cp936("正在获取小说章节名，请稍等...");
  std::string failedStatus = text::Cp936("章节获取失败，请重试！");
  std::string failedNotice = text::Cp936("章节获取失败\r\n(3秒后自动关闭)");
  std::string doneStatus = text::Cp936("小说章节名获取成功，请点击下载章节内容！");
  std::string doneNotice = text::Cp936("小说章节名获取完毕\r\n(3秒后自动关闭)");
  std::string waiting = text::Cp936("等待下载");
  std::string caption = text::Cp936("提示");
};

const Messages& Texts() {
  static const Messages texts;
  return texts;
}

void ReEnable(controls::Ui& ui) {
  ui.main.按钮_获取章节标题.SetEnabled(true);
  ui.rules.window.SetEnabled(true);
}

// Capture 1 of the first match, without any space: the title or the author.
std::string FirstCapture(RegexObject& regex, const std::string& pattern, const std::string& page) {
  regex.Create(pattern, page);
  return text::RemoveSpaces(regex.SubmatchText(1, 1));
}

}  // namespace

void StartIndexFetch(IndexFetchContext& c, std::function<void()> finished) {
  const Messages& m = Texts();
  c.ui.main.超级列表框1.Clear();
  c.ui.main.编辑框2.SetText({});
  c.ui.main.标签_书名.SetCaption({});
  c.ui.main.标签_作者.SetCaption({});
  c.ui.main.标签4.SetCaption(m.fetching);
  c.ui.main.按钮_获取章节标题.SetEnabled(false);
  c.ui.rules.window.SetEnabled(false);
  try {
    std::thread([&c, finished] {
      IndexFetch(c);
      if (finished) finished();
    }).detach();
  } catch (const std::system_error&) {
    // No thread: say so rather than leave the button disabled for good.
    c.ui.main.标签4.SetCaption(m.failedStatus);
    ReEnable(c.ui);
    if (finished) finished();
  }
}

void IndexFetch(IndexFetchContext& c) {
  const Messages& m = Texts();
  controls::MainWindowView& w = c.ui.main;
  RegexObject regex;

  std::string page(text::UpToZero(c.fetch(w.编辑框1.GetText())));
  if (page.empty()) {
    w.标签4.SetCaption(m.failedStatus);
    c.ui.notices.ShowTimedNotice(m.caption, m.failedNotice, kNoticeMs, controls::kStyleError);
    ReEnable(c.ui);
    return;
  }
  if (DeclaresUtf8(page)) page = web::Utf8ToLocal(page);

  w.标签_书名.SetCaption(FirstCapture(regex, c.ui.rules.编辑框_小说名正则.GetText(), page));
  w.标签_作者.SetCaption(FirstCapture(regex, c.ui.rules.编辑框_小说作者正则.GetText(), page));

  regex.Create(c.ui.rules.编辑框_列表正则.GetText(), page);
  const int count = regex.MatchCount();
  controls::ChapterTable& table = w.超级列表框1;
  for (int i = 1; i <= count; ++i) {
    const int row = table.AppendRow(std::to_string(i));
    table.SetStateImage(row, 1);
    table.SetCell(row, 1, regex.SubmatchText(i, 2));
    table.SetCell(row, 2, regex.SubmatchText(i, 1));
    table.SetCell(row, 3, m.waiting);
  }

  w.标签4.SetCaption(m.doneStatus);
  c.ui.notices.ShowTimedNotice(m.caption, m.doneNotice, kNoticeMs, controls::kStyleInformation);
  ReEnable(c.ui);
}

}  // namespace quill::extract
