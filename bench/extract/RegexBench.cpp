// Listing a 10,000-chapter index page (about 1 MB) with the first default
// rule's chapter pattern: RegexObject against Node.js's RegExp on the same
// page and pattern.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "extract/RegexObject.h"
#include "text/Codec.h"

namespace {

using Clock = std::chrono::steady_clock;
using quill::text::Cp936;

constexpr int kChapters = 10'000;
constexpr int kRepetitions = 30;

std::string IndexPage() {
  const char* const words[] = {"风起", "云涌", "夜行", "山门", "剑气", "长河", "孤城", "落日", "归来", "旧梦"};
  std::string utf8 =
      "<!DOCTYPE html>\r\n<html><head><meta charset=\"gbk\">\r\n"
      "<meta property=\"og:novel:book_name\" content=\"星辰长河\"/>\r\n"
      "<meta property=\"og:novel:author\" content=\"青石\"/>\r\n</head><body>\r\n<ul class=\"list\">\r\n";
  for (int i = 1; i <= kChapters; ++i) {
    std::string title = "第" + std::to_string(i) + "章 " + words[i % 10] + words[(i / 10) % 10] + "之" +
                        words[(i / 100) % 10] + words[(i * 7) % 10];
    utf8 += "<li class=\"chapter\"><a href=\"/book/31415/" + std::to_string(2'000'000 + i) +
            ".html\" title=\"" + title + "\">" + title + "</a></li>\r\n";
  }
  utf8 += "</ul>\r\n<div class=\"footer\">本站所有小说均来自网友上传</div>\r\n</body></html>\r\n";
  return Cp936(utf8);
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
  double best, median;
};

template <class F>
Figures Time(F&& f) {
  f();  // warm up
  std::vector<double> t;
  for (int i = 0; i < kRepetitions; ++i) {
    auto t0 = Clock::now();
    f();
    t.push_back(Ms(Clock::now() - t0));
  }
  std::sort(t.begin(), t.end());
  return {t.front(), t[t.size() / 2]};
}

}  // namespace

int main() {
  const std::string page = IndexPage();
  const std::string pattern =
      Cp936(R"re(<li class="chapter"><a href="(.*?)" title=".*?">(.*?)</a></li>)re");
  std::printf("page: %zu bytes, %d chapters; %d runs each\n", page.size(), kChapters, kRepetitions);

  int count = 0;
  size_t captured = 0;
  Figures full = Time([&] {
    quill::extract::RegexObject r;
    r.Create(pattern, page);
    count = r.MatchCount();
    captured = 0;
    for (int i = 1; i <= count; ++i) captured += r.SubmatchText(i, 1).size() + r.SubmatchText(i, 2).size();
  });
  Figures create = Time([&] {
    quill::extract::RegexObject r;
    r.Create(pattern, page);
  });
  Figures convert = Time([&] { captured += quill::text::Cp936ToUtf16(page).size() & 1; });
  if (count != kChapters) {
    std::printf("wrong match count %d\n", count);
    return 1;
  }
  std::printf("RegexObject  Create + all captures: best %.2f ms, median %.2f ms\n", full.best, full.median);
  std::printf("             of which Create:        best %.2f ms, median %.2f ms"
              " (page to UTF-16 alone: %.2f ms)\n",
              create.best, create.median, convert.best);

  if (std::system("command -v node >/dev/null 2>&1") != 0) {
    std::printf("node: not installed, no comparison\n");
    return 0;
  }
  const std::string base = "/tmp/quillmere_regex_bench_" + std::to_string(getpid());
  std::ofstream(base + ".page", std::ios::binary) << page;
  std::ofstream(base + ".pattern", std::ios::binary) << quill::text::Utf8(pattern);
  const std::string command = "timeout 300 node '" QUILLMERE_REGEX_BENCH_JS "' '" + base + ".page' '" + base +
                              ".pattern' " + std::to_string(kRepetitions);
  FILE* p = popen(command.c_str(), "r");
  double nodeBest = 0, nodeMedian = 0, decodeBest = 0, decodeMedian = 0;
  int nodeCount = 0;
  bool ok = p && std::fscanf(p, "%lf %lf %lf %lf %d", &nodeBest, &nodeMedian, &decodeBest, &decodeMedian,
                             &nodeCount) == 5;
  if (p) pclose(p);
  std::remove((base + ".page").c_str());
  std::remove((base + ".pattern").c_str());
  if (!ok) {
    std::printf("node: did not run\n");
    return 1;
  }
  std::printf("Node.js      exec loop + captures:   best %.2f ms, median %.2f ms (%d matches)\n", nodeBest,
              nodeMedian, nodeCount);
  std::printf("             with GBK decoding:      best %.2f ms, median %.2f ms\n", decodeBest, decodeMedian);
  std::printf("ratio RegexObject / Node.js:         best %.2f, median %.2f\n", full.best / nodeBest,
              full.median / nodeMedian);
  std::printf("ratio, both from GBK bytes:          best %.2f, median %.2f\n", full.best / decodeBest,
              full.median / decodeMedian);
  return 0;
}
