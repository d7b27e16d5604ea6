#pragma once
// A book on a local site, in the page shapes of the two default rules, and
// the bytes the program must write for it, worked out here by hand rather
// than by the program's own cleaning: each piece of a chapter's markup sits
// beside the text it has to become.
#include <string>
#include <utility>
#include <vector>

#include "support/HttpTestServer.h"
#include "text/Codec.h"

namespace quill::app::e2e {

// The default rules in the order of the rule file.
enum class Shape { kVellowick = 0, kMarrowdene = 1 };

inline constexpr const char* kDeclareGbk = R"(<meta http-equiv="Content-Type" content="text/html; charset=gbk">)";
inline constexpr const char* kDeclareUtf8 = R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)";
inline constexpr const char* kDeclareUtf8Quoted = R"(<meta charset="utf-8">)";
inline constexpr const char* kDeclareUtf8Upper = R"(<meta http-equiv="Content-Type" content="text/html; charset=UTF-8">)";

struct Book {
  Shape shape = Shape::kVellowick;
  bool utf8 = false;  // pages sent as UTF-8, else as GBK
  std::string declaration = kDeclareGbk;  // in the head of every page
  std::string title = "雾 港　纪事";        // UTF-8, as the page has it
  std::string author = "沈 砚";
  int chapters = 120;

  // ---- on the site

  std::string IndexPath() const { return shape == Shape::kVellowick ? "/book/7/index.html" : "/"; }
  std::string ChapterPath(int n) const {
    return shape == Shape::kVellowick ? "/book/7/" + std::to_string(n) + ".html"
                                      : "/shanhai/" + std::to_string(n) + ".html";
  }
  // What the rule's list pattern captures as the chapter's address.
  std::string CapturedAddress(int n) const {
    return shape == Shape::kVellowick ? std::to_string(n) + ".html" : "shanhai/" + std::to_string(n) + ".html";
  }
  // Column 1 as captured: spaces kept, entities not decoded.
  static std::string ChapterTitle(int n) {
    const std::string number = "第" + std::to_string(n) + "章";
    return n % 10 == 0 ? number + " &quot;潮声&quot;" : number + "　雾起 潮落";
  }

  std::string IndexPage() const {
    std::string items;
    for (int n = 1; n <= chapters; ++n) {
      if (shape == Shape::kVellowick) {
        items += "<li class=\"chapter\"><a href=\"" + CapturedAddress(n) + "\" title=\"第" + std::to_string(n) +
                 "章\">" + ChapterTitle(n) + "</a></li>\n";
      } else {
        items += "<li><a href=\"/" + CapturedAddress(n) + "\">" + ChapterTitle(n) + "</a></li>\n";
      }
    }
    std::string page;
    if (shape == Shape::kVellowick) {
      page = "<html><head>\n" + declaration + "\n<meta property=\"og:novel:book_name\" content=\"" + title +
             "\"/>\n<meta property=\"og:novel:author\" content=\"" + author +
             "\"/>\n</head><body><ul>\n" + items + "</ul></body></html>";
    } else {
      page = "<html><head>" + declaration + "\n<script>var b_tit='" + title +
             "',b_id=2;</script></head><body>\n<p>作者：<span><a href=\"/search.php?q=" + author +
             "\" target=_blank>" + author + "</a></span></p>\n<ul>\n" + items + "</ul></body></html>";
    }
    return Encoded(page);
  }

  std::string ChapterPage(int n) const {
    std::string body;
    for (const auto& [markup, cleaned] : Pieces(n)) body += markup;
    std::string page;
    if (shape == Shape::kVellowick) {
      page = "<html><head>\n" + declaration + "</head><body>\n<h1>" + ChapterTitle(n) +
             "</h1>\n<div id=\"content\" class=\"content\">" + body +
             "</div>\n<div class=\"footer\">下一章</div></body></html>";
    } else {
      page = "<html><head>" + declaration +
             "</head><body>\n<div class=\"chapter_content\" id=\"chapter_content\" "
             "style=\"font-size: 24px;\">" +
             body + "</div>\n</body></html>";
    }
    return Encoded(page);
  }

  void Serve(testsupport::HttpTestServer& server) const {
    server.Route(IndexPath(), testsupport::ScriptedResponse::Ok(IndexPage()));
    for (int n = 1; n <= chapters; ++n) server.Route(ChapterPath(n), testsupport::ScriptedResponse::Ok(ChapterPage(n)));
  }

  // ---- what the program must make of it (code-page-936 bytes)

  // Title and author lose every space, ASCII and full-width.
  std::string ShownTitle() const { return WithoutSpaces(title); }
  std::string ShownAuthor() const { return WithoutSpaces(author); }

  std::string ChapterFile(int n) const {
    const std::string number = "第" + std::to_string(n) + "章";
    // The title line is cleaned like the body.
    std::string file = text::Cp936(n % 10 == 0 ? number + " \"潮声\"" : number + "　雾起 潮落") + "\r\n";
    for (const auto& [markup, cleaned] : Pieces(n)) file += cleaned;
    return file;
  }

  // The chapters of the rows marked done, each followed by an empty line.
  std::string BookFile(const std::vector<int>& merged) const {
    std::string book;
    for (int n : merged) book += ChapterFile(n) + "\r\n\r\n";
    return book;
  }
  std::vector<int> AllChapters() const {
    std::vector<int> all;
    for (int n = 1; n <= chapters; ++n) all.push_back(n);
    return all;
  }

 private:
  // Markup of the page (UTF-8) and the cleaned bytes it turns into. No piece
  // leans on its neighbours: every line break sits between other text.
  static std::vector<std::pair<std::string, std::string>> Pieces(int n) {
    using text::Cp936;
    const std::string crlf = "\r\n";
    const std::string number = std::to_string(n);
    return {
        // Paragraphs: two spaces before, a line break after.
        {"<p>第" + number + "章的第一段。</p>", Cp936("  第" + number + "章的第一段。") + crlf},
        // The named entities become the punctuation of code page 936.
        {"<p>&ldquo;雾&rdquo;&hellip;&mdash;&lsquo;港&rsquo;</p>",
         "  \xA1\xB0" + Cp936("雾") + "\xA1\xB1\xA1\xAD\xA1\xAA\xA1\xAE" + Cp936("港") + "\xA1\xAF" + crlf},
        // Two "<br />" in a row make one line break, three make two.
        {"换行<br /><br />下一行", Cp936("换行") + crlf + Cp936("下一行")},
        {"甲<br /><br /><br />乙", Cp936("甲") + crlf + crlf + Cp936("乙")},
        {"问号????之后", Cp936("问号    之后")},
        {"<br/>&quot;引号&quot;</br>", crlf + "\"" + Cp936("引号") + "\"" + crlf},
        // Upper-case tags and entities, and entities the table does not name, stay.
        {"大写<P>与<BR />和&AMP;及&amp;&NBSP;留&nbsp;空", Cp936("大写<P>与<BR />和&AMP;及&amp;&NBSP;留 空")},
    };
  }

  std::string Encoded(const std::string& utf8Page) const { return utf8 ? utf8Page : text::Cp936(utf8Page); }

  static std::string WithoutSpaces(std::string utf8) {
    for (const std::string space : {" ", "　"}) {
      for (size_t at; (at = utf8.find(space)) != std::string::npos;) utf8.erase(at, space.size());
    }
    return text::Cp936(utf8);
  }
};

}  // namespace quill::app::e2e
