#include "extract/ChapterTask.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "FakeControls.h"
#include "extract/Cleanup.h"
#include "text/Codec.h"

namespace quill::extract {
namespace {

using text::Cp936;

// Answers each address from a script of bodies, one per attempt; an
// exhausted script answers nothing.
class ScriptedSite {
 public:
  void Serve(const std::string& address, std::vector<std::string> bodies) {
    std::lock_guard l(m_);
    script_[address] = std::move(bodies);
  }
  std::string Fetch(std::string_view address) {
    std::lock_guard l(m_);
    ++hits_[std::string(address)];
    auto& bodies = script_[std::string(address)];
    if (bodies.empty()) return {};
    std::string body = bodies.front();
    bodies.erase(bodies.begin());
    return body;
  }
  int Hits(const std::string& address) { std::lock_guard l(m_); return hits_[address]; }

 private:
  std::mutex m_;
  std::map<std::string, std::vector<std::string>> script_;
  std::map<std::string, int> hits_;
};

struct SavedFile {
  std::string book;
  int rowNumber;
  std::string text;
};

class ChapterTaskTest : public testing::Test {
 protected:
  ChapterTaskTest() {
    ui.编辑框2.SetText("http://h/book/");
    ui.标签_书名.SetCaption("T");
    ui.章节内容左.SetText("<div id=\"c\">");
    ui.章节内容右.SetText("</div>");
    for (int i = 0; i < 3; ++i) {
      int row = ui.table.AppendRow(std::to_string(i + 1));
      ui.table.SetStateImage(row, 1);
      ui.table.SetCell(row, 1, Cp936("第") + std::to_string(i + 1));
      ui.table.SetCell(row, 2, std::to_string(100 + i) + ".html");
    }
  }

  void Run(int row) { ChapterTask(context, row); }

  fakes::FakeUi ui;
  pool::SectionLock lock;
  pool::SharedCounter failed;
  int32_t done = 0;
  ScriptedSite site;
  std::vector<SavedFile> saved;
  ChapterTaskContext context{ui.ui, lock, failed, done,
                             [this](std::string_view a) { return site.Fetch(a); },
                             [this](const std::string& book, int n, std::string_view t) {
                               saved.push_back({book, n, std::string(t)});
                             }};
};

TEST_F(ChapterTaskTest, ThirdAttemptIsCutCleanedAndSaved) {
  site.Serve("http://h/book/101.html", {"", "", "<div id=\"c\"><p>one</p><p>two</p></div>"});
  Run(1);
  EXPECT_EQ(site.Hits("http://h/book/101.html"), 3);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].book, "T");
  EXPECT_EQ(saved[0].rowNumber, 2);
  EXPECT_EQ(saved[0].text, Cp936("第2") + "\r\n  one\r\n  two\r\n");
  EXPECT_EQ(ui.table.StateImage(1), 0);
  EXPECT_EQ(ui.table.Cell(1, 3), Cp936("下载完毕"));
  EXPECT_EQ(ui.table.SelectedRow(), 1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(ui.标签4.Caption(), "1" + Cp936("个章节内容已下载，请等候章节内容下载完毕..."));
  EXPECT_EQ(failed.Get(), 0);
}

TEST_F(ChapterTaskTest, ThreeEmptyAttemptsFailTheRowAndKeepItChecked) {
  Run(0);
  EXPECT_EQ(site.Hits("http://h/book/100.html"), 3);
  EXPECT_TRUE(saved.empty());
  EXPECT_EQ(ui.table.Cell(0, 3), Cp936("失败3次"));
  EXPECT_EQ(ui.table.StateImage(0), 1);
  EXPECT_EQ(failed.Get(), 1);
  EXPECT_EQ(done, 0);
}

TEST_F(ChapterTaskTest, Utf8PageIsConvertedBeforeCutting) {
  site.Serve("http://h/book/100.html",
             {"<meta charset=UTF-8><div id=\"c\">\xE4\xB8\xAD\xE6\x96\x87</div>"});
  Run(0);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].text, Cp936("第1") + "\r\n\xD6\xD0\xCE\xC4");
}

TEST_F(ChapterTaskTest, MissingMarkersLeaveOnlyTheTitleLine) {
  site.Serve("http://h/book/100.html", {"no markers here"});
  Run(0);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].text, Cp936("第1") + "\r\n");
  EXPECT_EQ(ui.table.Cell(0, 3), Cp936("下载完毕"));
}

TEST_F(ChapterTaskTest, QuoteMarkerInAMarkerStandsForADoubleQuote) {
  ui.章节内容左.SetText("<div id=" + Cp936("#引号") + "c" + Cp936("#引号") + ">");
  site.Serve("http://h/book/100.html", {"<div id=\"c\">body</div>"});
  Run(0);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].text, Cp936("第1") + "\r\nbody");
}

struct CleanCase {
  const char* what;
  std::string in, out;
};

void PrintTo(const CleanCase& c, std::ostream* os) { *os << c.what; }

class CleanupTest : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanupTest, Table) {
  std::string s = GetParam().in;
  CleanChapterText(s);
  EXPECT_EQ(s, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanupTest,
    testing::Values(
        CleanCase{"paragraphs", "<p>a</p><p>b</p>", "  a\r\n  b\r\n"},
        CleanCase{"two breaks make one line break", "a<br /><br />b", "a\r\nb"},
        CleanCase{"k pairs become ceil(k/2)", "a\r\n\r\n\r\n\r\n\r\nb", "a\r\n\r\n\r\nb"},
        CleanCase{"four pairs become two", "\r\n\r\n\r\n\r\n", "\r\n\r\n"},
        CleanCase{"question marks", "a????b", "a    b"},
        CleanCase{"upper case and unnamed entities stay", "<P>x</P><BR />&amp;&NBSP;",
                  "<P>x</P><BR />&amp;&NBSP;"},
        CleanCase{"entities", "&lsquo;&rsquo;&mdash;&hellip;&ldquo;&rdquo;&nbsp;&quot;",
                  "\xA1\xAE\xA1\xAF\xA1\xAA\xA1\xAD\xA1\xB0\xA1\xB1 \""},
        CleanCase{"other breaks", "a<br/>b</br>c", "a\r\nb\r\nc"},
        CleanCase{"a later step sees an earlier step's output", "</p></p>", "\r\n"}));

}  // namespace
}  // namespace quill::extract
