#include "extract/IndexFetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "FakeControls.h"
#include "text/Codec.h"

namespace quill::extract {
namespace {

using text::Cp936;

class IndexFetchTest : public testing::Test {
 protected:
  IndexFetchTest() {
    ui.编辑框1.SetText("http://h/book/7/index.html");
    ui.列表正则.SetText("<li><a href=\"/(.*?)\">(.*?)</a></li>");
    ui.小说名正则.SetText("var b_tit='(.*?)',b_id");
    ui.小说作者正则.SetText(Cp936("作者：") + "<span>(.*?)</span>");
  }

  void Fetch(std::string page) {
    IndexFetchContext context{ui.ui, [&](std::string_view) { return page; }};
    ui.fetch.SetEnabled(false);
    ui.rulesWindow.SetEnabled(false);
    IndexFetch(context);
  }

  fakes::FakeUi ui;
};

TEST_F(IndexFetchTest, ListsTitleAuthorAndChapters) {
  std::string page = "var b_tit='" + Cp936("长 　夜") + "',b_id\n" + Cp936("作者：") +
                     "<span>A B</span>\n";
  for (int i = 1; i <= 500; ++i)
    page += "<LI><a href=\"/" + std::to_string(i) + ".html\">" + Cp936("第 ") + std::to_string(i) +
            "</a></li>\n";
  Fetch(page);

  EXPECT_EQ(ui.标签_书名.Caption(), Cp936("长夜"));
  EXPECT_EQ(ui.标签_作者.Caption(), "AB");
  ASSERT_EQ(ui.table.RowCount(), 500);
  for (int row : {0, 249, 499}) {
    EXPECT_EQ(ui.table.Cell(row, 0), std::to_string(row + 1));
    EXPECT_EQ(ui.table.Cell(row, 1), Cp936("第 ") + std::to_string(row + 1));  // spaces kept
    EXPECT_EQ(ui.table.Cell(row, 2), std::to_string(row + 1) + ".html");
    EXPECT_EQ(ui.table.Cell(row, 3), Cp936("等待下载"));
    EXPECT_EQ(ui.table.StateImage(row), 1);
  }
  EXPECT_EQ(ui.标签4.Caption(), Cp936("小说章节名获取成功，请点击下载章节内容！"));
  auto calls = ui.notices.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, Cp936("小说章节名获取完毕\r\n(3秒后自动关闭)"));
  EXPECT_EQ(calls[0].timeoutMs, 3000);
  EXPECT_EQ(calls[0].style, 64);
  EXPECT_TRUE(ui.fetch.IsEnabled());
  EXPECT_TRUE(ui.rulesWindow.IsEnabled());
}

TEST_F(IndexFetchTest, DeclaredUtf8PagesAreConvertedAndOthersAreNot) {
  const std::string utf8Title = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  for (auto [declaration, converted] : {std::pair{"charset=UTF-8", true}, {"charset=\"utf-8\"", true},
                                        {"charset = utf-8", false}, {"charset='utf-8'", false}}) {
    Fetch(std::string("<meta ") + declaration + ">var b_tit='" + utf8Title + "',b_id");
    EXPECT_EQ(ui.标签_书名.Caption(), converted ? "\xD6\xD0\xCE\xC4" : utf8Title) << declaration;
  }
}

TEST_F(IndexFetchTest, AnEmptyPageFailsWithItsNotice) {
  Fetch("");
  EXPECT_EQ(ui.标签4.Caption(), Cp936("章节获取失败，请重试！"));
  auto calls = ui.notices.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, Cp936("章节获取失败\r\n(3秒后自动关闭)"));
  EXPECT_EQ(calls[0].style, 16);
  EXPECT_EQ(ui.table.RowCount(), 0);
  EXPECT_TRUE(ui.fetch.IsEnabled());
  EXPECT_TRUE(ui.rulesWindow.IsEnabled());
}

TEST_F(IndexFetchTest, HandlerEmptiesTheWindowBeforeTheJob) {
  ui.table.AppendRow("1");
  ui.编辑框2.SetText("http://old/");
  ui.标签_书名.SetCaption("old");
  IndexFetchContext context{ui.ui, [](std::string_view) { return std::string(); }};
  std::atomic<bool> finished{false};
  StartIndexFetch(context, [&] { finished = true; });
  // The job runs on its own thread; the context must outlive it.
  for (int i = 0; i < 1000 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(finished);
  EXPECT_EQ(ui.table.RowCount(), 0);
  EXPECT_EQ(ui.编辑框2.GetText(), "");
  EXPECT_EQ(ui.标签_书名.Caption(), "");
  EXPECT_EQ(ui.标签4.History().front(), Cp936("正在获取小说章节名，请稍等..."));
  EXPECT_TRUE(ui.fetch.IsEnabled());
}

}  // namespace
}  // namespace quill::extract
