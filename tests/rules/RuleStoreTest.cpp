#include "rules/RuleStore.h"

#include <gtest/gtest.h>

#include <climits>

#include "RuleFileFixture.h"
#include "text/Codec.h"

namespace quill::rules {
namespace {

using text::Cp936;
using namespace std::string_literals;

// Written out byte for byte, Chinese as code page 936, so that the check
// does not lean on the writer it checks.
const std::string kDefaultFile =
    "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n"
    "<\xD0\xA1\xCB\xB5\xD5\xBE\xB5\xE3>\r\n"
    "\t<Vellowick"
    " \xD5\xC2\xBD\xDA\xC1\xD0\xB1\xED\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"&lt;li class=&quot;chapter&quot;&gt;"
    "&lt;a href=&quot;(.*?)&quot; title=&quot;.*?&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;\""
    " \xD0\xA1\xCB\xB5\xC3\xFB\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"&lt;meta property=&quot;og:novel:book_name&quot;"
    " content=&quot;(.*?)&quot;/&gt;\""
    " \xD7\xF7\xD5\xDF\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"&lt;meta property=&quot;og:novel:author&quot;"
    " content=&quot;(.*?)&quot;/&gt;\""
    " \xD5\xC2\xBD\xDA\xC4\xDA\xC8\xDD\xD7\xF3\xB2\xE0=\"&lt;div id=&quot;content&quot; class=&quot;content&quot;&gt;\""
    " \xD5\xC2\xBD\xDA\xC4\xDA\xC8\xDD\xD3\xD2\xB2\xE0=\"&lt;/div&gt;\""
    ">http://www.vellowick.example/</Vellowick>\r\n"
    "\t<Marrowdene"
    " \xD5\xC2\xBD\xDA\xC1\xD0\xB1\xED\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"&lt;li&gt;&lt;a href=&quot;/(.*?)&quot;&gt;"
    "(.*?)&lt;/a&gt;&lt;/li&gt;\""
    " \xD0\xA1\xCB\xB5\xC3\xFB\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"var b_tit=&apos;(.*?)&apos;,b_id\""
    " \xD7\xF7\xD5\xDF\xD5\xFD\xD4\xF2\xB1\xED\xB4\xEF\xCA\xBD=\"\xD7\xF7\xD5\xDF\xA3\xBA&lt;span&gt;&lt;a"
    " href=&quot;/search.php\\?q=(.*?)&quot; target=_blank&gt;\""
    " \xD5\xC2\xBD\xDA\xC4\xDA\xC8\xDD\xD7\xF3\xB2\xE0=\"&lt;div class=&quot;chapter_content&quot;"
    " id=&quot;chapter_content&quot; style=&quot;font-size: 24px;&quot;&gt;\""
    " \xD5\xC2\xBD\xDA\xC4\xDA\xC8\xDD\xD3\xD2\xB2\xE0=\"&lt;/div&gt;\""
    ">http://www.marrowdene.example/</Marrowdene>\r\n"
    "</\xD0\xA1\xCB\xB5\xD5\xBE\xB5\xE3>";

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"gb18030\"?>";
const std::string kRoot = Cp936("小说站点");

SiteRule Rule(std::string name, std::string address) {
  return {std::move(name), std::move(address), "list", "title", "author", "left", "right"};
}

constexpr RuleField kAllFields[] = {RuleField::siteAddress, RuleField::chapterListPattern,
                                    RuleField::titlePattern, RuleField::authorPattern,
                                    RuleField::contentLeft,  RuleField::contentRight};

std::string Get(const SiteRule& r, RuleField f) {
  switch (f) {
    case RuleField::siteAddress: return r.siteAddress;
    case RuleField::chapterListPattern: return r.chapterListPattern;
    case RuleField::titlePattern: return r.titlePattern;
    case RuleField::authorPattern: return r.authorPattern;
    case RuleField::contentLeft: return r.contentLeft;
    case RuleField::contentRight: return r.contentRight;
  }
  return {};
}

using RuleStoreTest = RuleFileTest;

TEST_F(RuleStoreTest, EnsureFileWritesTheDefaultRules) {
  EXPECT_EQ(RuleStore::DefaultFileBytes(), kDefaultFile);
  RuleStore store = Store();
  store.EnsureFile();
  EXPECT_EQ(Contents(), kDefaultFile);
  EXPECT_EQ(EntriesInDirectory(), 1u);

  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Vellowick", "Marrowdene"}));
  SiteRule second = store.ReadAt(2);
  EXPECT_EQ(second.siteAddress, "http://www.marrowdene.example/");
  EXPECT_EQ(second.chapterListPattern, "<li><a href=\"/(.*?)\">(.*?)</a></li>");
  EXPECT_EQ(second.titlePattern, "var b_tit='(.*?)',b_id");
  EXPECT_EQ(second.authorPattern, Cp936("作者：<span><a href=\"/search.php\\?q=(.*?)\" target=_blank>"));
  EXPECT_EQ(store.ReadByName("Vellowick").contentLeft, "<div id=\"content\" class=\"content\">");
  EXPECT_EQ(DefaultRuleFilePath(), std::filesystem::path(u8"下载配置.xml"));
}

struct FileCase {
  const char* what;
  std::string bytes;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.what; }

class EnsureFileTest : public RuleFileTest, public testing::WithParamInterface<FileCase> {};

TEST_P(EnsureFileTest, LeavesAnExistingFileAlone) {
  Put(GetParam().bytes);
  Store().EnsureFile();
  EXPECT_EQ(Contents(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Contents, EnsureFileTest,
                         testing::Values(FileCase{"empty", ""}, FileCase{"not a rule file", "not a rule file"},
                                         FileCase{"another document", "<a/>"},
                                         FileCase{"default rules with a comment", "<!-- mine -->" + kDefaultFile}));

// Files that do not parse: every operation must find no rules and leave the
// file exactly as it is.
class UnparsableFileTest : public RuleFileTest, public testing::WithParamInterface<FileCase> {};

TEST_P(UnparsableFileTest, SurvivesEveryOperation) {
  const std::string broken = GetParam().bytes;
  Put(broken);
  RuleStore store = Store();
  EXPECT_TRUE(store.ListNames().empty());
  EXPECT_EQ(store.ReadAt(1), SiteRule{});
  EXPECT_EQ(store.ReadByName("Vellowick"), SiteRule{});
  for (RuleField f : kAllFields) store.WriteField(1, f, "x");
  store.Rename(1, "x");
  store.Append(Rule("x", "http://x/"));
  EXPECT_FALSE(store.Remove(1));
  EXPECT_EQ(Contents(), broken);
  EXPECT_EQ(EntriesInDirectory(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, UnparsableFileTest,
    testing::Values(FileCase{"empty", ""}, FileCase{"white space", " \r\n"},
                    FileCase{"declaration only", kDecl},
                    FileCase{"last byte cut off", kDefaultFile.substr(0, kDefaultFile.size() - 1)},
                    FileCase{"cut in half", kDefaultFile.substr(0, kDefaultFile.size() / 2)},
                    FileCase{"element after the root", kDefaultFile + "<x/>"},
                    FileCase{"unclosed rule", "<" + kRoot + "><Vellowick></" + kRoot + ">"},
                    FileCase{"binary", "\x00\x01\xFF\xFE<<>>\x81"s},
                    FileCase{"unclosed comment", kDefaultFile.substr(0, 200) + "<!-- not closed"}));

TEST_F(RuleStoreTest, AMissingFileIsNeverCreated) {
  RuleStore store = Store();
  EXPECT_TRUE(store.ListNames().empty());
  EXPECT_EQ(store.ReadAt(1), SiteRule{});
  store.WriteField(1, RuleField::siteAddress, "x");
  store.Rename(1, "x");
  store.Append(Rule("x", "http://x/"));
  EXPECT_FALSE(store.Remove(1));
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_EQ(EntriesInDirectory(), 0u);
}

TEST_F(RuleStoreTest, AppendAndRemoveWriteTheLayout) {
  Put(kDecl + "\r\n<" + kRoot + "/>");
  RuleStore store = Store();
  store.Append({"N\xD6\xD0", "http://a/?b=1&c=2", "<li>", "", "'t'", "\"", "&amp;"});
  const std::string a = Cp936("章节列表正则表达式"), t = Cp936("小说名正则表达式"), w = Cp936("作者正则表达式"),
                    l = Cp936("章节内容左侧"), r = Cp936("章节内容右侧");
  EXPECT_EQ(Contents(), kDecl + "\r\n<" + kRoot + ">\r\n\t<N\xD6\xD0 " + a + "=\"&lt;li&gt;\" " + t + "=\"\" " + w +
                            "=\"&apos;t&apos;\" " + l + "=\"&quot;\" " + r +
                            "=\"&amp;amp;\">http://a/?b=1&amp;c=2</N\xD6\xD0>\r\n</" + kRoot + ">");
  EXPECT_TRUE(store.Remove(1));
  EXPECT_EQ(Contents(), kDecl + "\r\n<" + kRoot + "/>");
}

TEST_F(RuleStoreTest, SpecialCharactersReadBackAndStandEncoded) {
  Put(kDefaultFile);
  RuleStore store = Store();
  const std::string value = Cp936("<a href=\"中\">&'x'</a>");
  for (RuleField f : kAllFields) {
    store.WriteField(2, f, value);
    EXPECT_EQ(Get(store.ReadAt(2), f), value);
  }
  EXPECT_NE(Contents().find(Cp936("&lt;a href=&quot;中&quot;&gt;&amp;&apos;x&apos;&lt;/a&gt;")), std::string::npos);
  EXPECT_EQ(store.ReadAt(1), store.ReadByName("Vellowick"));
  EXPECT_EQ(store.ReadAt(1).siteAddress, "http://www.vellowick.example/");
}

TEST_F(RuleStoreTest, OnlyTheNamedEntitiesAreDecoded) {
  const std::string l = Cp936("章节内容左侧"), r = Cp936("章节内容右侧"), t = Cp936("小说名正则表达式");
  Put("<" + kRoot + "><R " + l + "=\"&nbsp;\" " + r + "=\"&#60;&#x3C;\" " + t + "=\"&quote;a&quote;\">&lt;&amp;lt;</R></" +
      kRoot + ">");
  SiteRule rule = Store().ReadAt(1);
  EXPECT_EQ(rule.contentLeft, "&nbsp;");
  EXPECT_EQ(rule.contentRight, "&#60;&#x3C;");
  EXPECT_EQ(rule.titlePattern, "\"a\"");
  EXPECT_EQ(rule.siteAddress, "<&lt;");
}

TEST_F(RuleStoreTest, WhiteSpaceAroundTheAddressGoesAttributesKeepTheirs) {
  Put(kDefaultFile);
  RuleStore store = Store();
  store.WriteField(1, RuleField::siteAddress, " \t\r\nhttp://x/ y \r\n\t ");
  store.WriteField(1, RuleField::contentLeft, " \tleft\r\n ");
  EXPECT_EQ(store.ReadAt(1).siteAddress, "http://x/ y");
  EXPECT_EQ(store.ReadAt(1).contentLeft, " \tleft\r\n ");
}

TEST_F(RuleStoreTest, AnEmptyAddressMakesTheRuleSelfClosing) {
  Put(kDefaultFile);
  RuleStore store = Store();
  store.WriteField(1, RuleField::siteAddress, "");
  EXPECT_NE(Contents().find("=\"&lt;/div&gt;\"/>\r\n\t<Marrowdene "), std::string::npos);
  EXPECT_EQ(store.ReadAt(1).siteAddress, "");
  EXPECT_EQ(store.ReadAt(1).contentRight, "</div>");
  store.WriteField(1, RuleField::siteAddress, "http://www.vellowick.example/");
  EXPECT_EQ(Contents(), kDefaultFile);
}

TEST_F(RuleStoreTest, AMissingAttributeReadsEmptyAndIsNotCreated) {
  std::string file = kDefaultFile;
  const std::string right = " " + Cp936("章节内容右侧") + "=\"&lt;/div&gt;\">http://www.marrowdene";
  file.replace(file.find(right), right.size(), ">http://www.marrowdene");
  Put(file);
  RuleStore store = Store();
  EXPECT_EQ(store.ReadAt(2).contentRight, "");
  EXPECT_EQ(store.ReadAt(2).contentLeft, "<div class=\"chapter_content\" id=\"chapter_content\" style=\"font-size: 24px;\">");
  store.WriteField(2, RuleField::contentRight, "</p>");
  EXPECT_EQ(Contents(), file);
  EXPECT_EQ(store.ReadAt(2).contentRight, "");
}

TEST_F(RuleStoreTest, EveryAttributeOfTheNameReceivesTheValue) {
  const std::string r = Cp936("章节内容右侧");
  Put("<" + kRoot + "><R " + r + "=\"1\" x=\"2\" " + r + "=\"3\"/></" + kRoot + ">");
  RuleStore store = Store();
  EXPECT_EQ(store.ReadAt(1).contentRight, "1");
  store.WriteField(1, RuleField::contentRight, "9");
  EXPECT_EQ(Contents(), kDecl + "\r\n<" + kRoot + ">\r\n\t<R " + r + "=\"9\" x=\"2\" " + r + "=\"9\"/>\r\n</" + kRoot + ">");
}

TEST_F(RuleStoreTest, AHandWrittenCommentIsGoneAfterTheNextWrite) {
  std::string file = kDefaultFile;
  file.insert(file.find("\t<Marrowdene"), "<!-- my own site -->\r\n");
  Put("<!-- rules -->" + file + "\r\n<!-- end -->\r\n");
  RuleStore store = Store();
  EXPECT_EQ(store.ListNames().size(), 2u);
  store.WriteField(1, RuleField::titlePattern, store.ReadAt(1).titlePattern);
  EXPECT_EQ(Contents(), kDefaultFile);
}

TEST_F(RuleStoreTest, CdataIsReadVerbatimAndKeptUntilReplaced) {
  std::string file = kDefaultFile;
  const std::string address = "http://www.vellowick.example/";
  file.replace(file.find(address), address.size(), "<![CDATA[http://v/?a=1&amp;b=<2>]]>");
  Put(file);
  RuleStore store = Store();
  EXPECT_EQ(store.ReadAt(1).siteAddress, "http://v/?a=1&amp;b=<2>");
  store.WriteField(2, RuleField::titlePattern, "t");
  EXPECT_NE(Contents().find("><![CDATA[http://v/?a=1&amp;b=<2>]]></Vellowick>"), std::string::npos);
  store.WriteField(1, RuleField::siteAddress, "<2>");
  EXPECT_NE(Contents().find(">&lt;2&gt;</Vellowick>"), std::string::npos);
}

TEST_F(RuleStoreTest, PositionsOutsideTheListReachNothing) {
  Put(kDefaultFile);
  RuleStore store = Store();
  for (int position : {0, -1, 3, INT_MIN, INT_MAX}) {
    EXPECT_EQ(store.ReadAt(position), SiteRule{}) << position;
    EXPECT_FALSE(store.Remove(position)) << position;
    store.WriteField(position, RuleField::siteAddress, "x");
    store.Rename(position, "x");
  }
  EXPECT_EQ(Contents(), kDefaultFile);
}

TEST_F(RuleStoreTest, NamesAreComparedByteForByte) {
  Put(kDefaultFile);
  RuleStore store = Store();
  // Names that look like a path or a position are names like any other.
  const std::vector<Text> added{"vellowick", "1st", "a/b", "@1", "@0", Cp936("小说站点"), "<&\">", "Vellowick"};
  for (const Text& name : added) store.Append(Rule(name, "http://" + name + "/"));
  std::vector<Text> expected{"Vellowick", "Marrowdene"};
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(store.ListNames(), expected);
  for (size_t i = 0; i + 1 < added.size(); ++i) {
    EXPECT_EQ(store.ReadByName(added[i]).siteAddress, "http://" + added[i] + "/") << added[i];
    EXPECT_EQ(store.ReadAt(static_cast<int>(i) + 3).siteAddress, "http://" + added[i] + "/");
  }
  // Of two rules with one name, the name finds the first; positions reach both.
  EXPECT_EQ(store.ReadByName("Vellowick").siteAddress, "http://www.vellowick.example/");
  EXPECT_EQ(store.ReadAt(static_cast<int>(expected.size())).siteAddress, "http://Vellowick/");
  EXPECT_EQ(store.ReadByName("Nowhere"), SiteRule{});
  EXPECT_EQ(store.ReadByName(""), SiteRule{});
}

TEST_F(RuleStoreTest, RenameChangesOnlyTheName) {
  Put(kDefaultFile);
  RuleStore store = Store();
  SiteRule before = store.ReadAt(2);
  store.Rename(2, Cp936("新站"));
  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Vellowick", Cp936("新站")}));
  SiteRule after = store.ReadByName(Cp936("新站"));
  after.name = before.name;
  EXPECT_EQ(after, before);
  store.Rename(2, "Marrowdene");
  EXPECT_EQ(Contents(), kDefaultFile);
}

TEST_F(RuleStoreTest, NamesTheFileCouldNotReadBackAreRefused) {
  Put(kDefaultFile);
  RuleStore store = Store();
  for (const char* name : {"", "a b", "!x", "?x", "/x"}) {
    store.Rename(1, name);
    store.Append(Rule(name, "http://x/"));
  }
  EXPECT_EQ(Contents(), kDefaultFile);
}

TEST_F(RuleStoreTest, MalformedTextsStillLeaveAReadableFile) {
  Put(kDefaultFile);
  RuleStore store = Store();
  // Lead bytes with no trail byte after them, before the bytes that end a
  // value or start a tag.
  const std::string value = "x\x81\"\x81<\x81";
  store.WriteField(1, RuleField::siteAddress, value);
  store.WriteField(1, RuleField::contentLeft, value);
  store.Append(Rule("\x81", value));
  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Vellowick", "Marrowdene", "\x81"}));
  EXPECT_EQ(store.ReadAt(1).siteAddress, value);
  EXPECT_EQ(store.ReadAt(1).contentLeft, value);
  EXPECT_EQ(store.ReadByName("\x81").siteAddress, value);
}

TEST_F(RuleStoreTest, RemoveTakesTheWholeElement) {
  std::string file = kDefaultFile;
  file.insert(file.find("</Vellowick>"), "<inner x=\"1\"><deeper/></inner>");
  Put(file);
  RuleStore store = Store();
  EXPECT_TRUE(store.Remove(1));
  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Marrowdene"}));
  EXPECT_EQ(Contents().find("inner"), std::string::npos);
  EXPECT_TRUE(store.Remove(1));
  EXPECT_TRUE(store.ListNames().empty());
  EXPECT_FALSE(store.Remove(1));
  EXPECT_EQ(Contents(), kDecl + "\r\n<" + kRoot + "/>");
}

TEST_F(RuleStoreTest, AnotherRootHasNoRules) {
  const std::string other = Cp936("其他");
  Put("<" + other + "><Vellowick/></" + other + ">");
  RuleStore store = Store();
  EXPECT_TRUE(store.ListNames().empty());
  EXPECT_EQ(store.ReadAt(1), SiteRule{});
  EXPECT_EQ(store.ReadByName("Vellowick"), SiteRule{});
  store.Append(Rule("New", "http://n/"));
  store.WriteField(1, RuleField::siteAddress, "x");
  EXPECT_FALSE(store.Remove(1));
  // It still parses, so it comes back in the written layout, and unchanged.
  EXPECT_EQ(Contents(), kDecl + "\r\n<" + other + ">\r\n\t<Vellowick/>\r\n</" + other + ">");
}

TEST_F(RuleStoreTest, EveryOperationSeesAHandEditAtOnce) {
  Put(kDefaultFile);
  RuleStore store = Store();
  EXPECT_EQ(store.ListNames().size(), 2u);
  std::string file = kDefaultFile;
  file.replace(file.find("<Marrowdene"), 11, "<Other");
  file.replace(file.find("</Marrowdene>"), 13, "</Other>");
  Put(file);
  EXPECT_EQ(store.ListNames(), (std::vector<Text>{"Vellowick", "Other"}));
  std::filesystem::remove(file_);
  EXPECT_TRUE(store.ListNames().empty());
}

}  // namespace
}  // namespace quill::rules
