// Objects on several threads at once, each with its thread's JIT stack.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "extract/RegexObject.h"
#include "text/Codec.h"

namespace quill::extract {
namespace {

TEST(RegexThreads, ObjectsOnSeveralThreadsAgree) {
  std::string page;
  for (int i = 0; i < 300; ++i) {
    page += text::Cp936("<li><a href=\"/9/" + std::to_string(i) + ".html\">第" + std::to_string(i) +
                        "章 雨</a></li>\n");
  }
  const std::string pattern = text::Cp936(R"re(<li><a href="/(.*?)">(.*?)</a></li>)re");
  // A repeated group, so the JIT stack is used, too.
  const std::string deep(200'000, 'x');

  auto work = [&](std::vector<std::string>& out) {
    for (int round = 0; round < 20; ++round) {
      RegexObject r;
      r.Create(pattern, page);
      out.push_back(std::to_string(r.MatchCount()) + r.SubmatchText(123, 1) + r.SubmatchText(300, 2));
      RegexObject d;
      d.Create("(x|y)*$", deep);
      out.push_back(std::to_string(d.MatchCount()) + std::to_string(d.MatchText(1).size()));
    }
  };
  std::vector<std::string> alone;
  work(alone);
  ASSERT_EQ(alone[0], "300" "9/122.html" + text::Cp936("第299章 雨"));
  ASSERT_EQ(alone[1], "2200000");

  std::vector<std::vector<std::string>> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results) threads.emplace_back(work, std::ref(r));
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, alone);
}

}  // namespace
}  // namespace quill::extract
