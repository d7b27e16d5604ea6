// From the press of the fetch button to the filled table, with the program's
// Session and both windows off screen, for a book's index page served by a
// local site; beside it the parts on their own: the page fetch and the
// chapter pattern's listing.
//
//   index_fetch_bench INDEX-URL CHAPTERS [--rounds N]
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "OffscreenSession.h"
#include "extract/RegexObject.h"
#include "web/FetchPage.h"

namespace {

using namespace quill;
using bench::Clock;
using bench::Seconds;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s INDEX-URL CHAPTERS [--rounds N]\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const int chapters = std::atoi(argv[2]);
  int rounds = 5;
  for (int i = 3; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--rounds") rounds = std::atoi(argv[i + 1]);
  const std::filesystem::path work = bench::MakeWorkDirectory("quillmere-index-bench");

  bench::UseOffscreenPlatform();
  web::InitWeb();
  int fakeArgc = 1;
  bench::TimedApplication app(fakeArgc, argv);
  app::SetUpApplication(app);
  app::GuiThread guiThread;
  int status = 0;
  {
    bench::OffscreenSession s(work);
    controls::MainWindowView& view = s.Window().View();
    view.编辑框1.SetText(url);

    std::vector<double> toTable, toControls, guiCpu, operations, painting;
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms up
      std::optional<Clock::time_point> noticeShown;
      s.Notices().Script().Push([&](const app::NoticeRequest&) {
        noticeShown = Clock::now();  // the table is full by now
        return controls::kTimedOut;
      });
      const double gui0 = bench::ThreadCpuSeconds();
      app.StartTiming();
      const Clock::time_point t0 = Clock::now();
      s.Button(u"按钮_获取章节标题")->click();
      const bool ended = bench::RunUntil([&] { return !s.Session().IndexFetchRunning(); }, std::chrono::seconds(600));
      const Clock::time_point t1 = Clock::now();
      app.StopTiming();
      if (!ended || !noticeShown || view.超级列表框1.RowCount() != chapters) {
        std::fprintf(stderr, "round %d: %d rows, not %d\n", round, view.超级列表框1.RowCount(), chapters);
        std::_Exit(1);
      }
      if (round == 0) continue;
      toTable.push_back(Seconds(*noticeShown - t0));
      toControls.push_back(Seconds(t1 - t0));
      guiCpu.push_back(bench::ThreadCpuSeconds() - gui0);
      operations.push_back(app.Of(bench::TimedApplication::kControlOperation).seconds);
      painting.push_back(app.Of(bench::TimedApplication::kPainting).seconds);
      std::printf("round %d: press to filled table %.3f s, to controls back %.3f s\n", round, toTable.back(),
                  toControls.back());
    }

    // The parts alone, on this thread.
    const std::string pattern = s.Window().Ui().rules.编辑框_列表正则.GetText();
    std::vector<double> fetchTimes, listTimes;
    std::string page;
    for (int round = 0; round < rounds; ++round) {
      Clock::time_point t0 = Clock::now();
      page = web::FetchPage(url);
      fetchTimes.push_back(Seconds(Clock::now() - t0));
      t0 = Clock::now();
      extract::RegexObject regex;
      regex.Create(pattern, page);
      const int count = regex.MatchCount();
      std::size_t bytes = 0;
      for (int i = 1; i <= count; ++i) bytes += regex.SubmatchText(i, 1).size() + regex.SubmatchText(i, 2).size();
      listTimes.push_back(Seconds(Clock::now() - t0));
      if (count != chapters || bytes == 0) status = 1;
    }

    const double table = Median(toTable);
    std::printf("index page: %zu bytes, %d chapters; medians of %d rounds\n", page.size(), chapters, rounds);
    std::printf("press to filled table (notice):  %.3f s  (%.0f rows/s)\n", table, chapters / table);
    std::printf("press to controls back:          %.3f s\n", Median(toControls));
    std::printf("  fetch of the page alone:       %.3f s\n", Median(fetchTimes));
    std::printf("  listing by RegexObject alone:  %.3f s\n", Median(listTimes));
    std::printf("  GUI thread CPU:                %.3f s; in control operations %.3f s, painting %.3f s (wall)\n",
                Median(guiCpu), Median(operations), Median(painting));
    std::printf("  control operations:            %d (5 a row)\n", 5 * chapters);
    std::printf("peak RSS (VmHWM):                %ld KB\n", bench::StatusKb("VmHWM"));
  }
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  return status;
}
