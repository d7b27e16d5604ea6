// Chapters per second of a real download run: the program's Session with
// both windows off screen fetches a book's index from a local site, then the
// download button is pressed and the run timed until its handler returns.
//
//   download_bench INDEX-URL CHAPTERS [--work DIR] [--keep]
//
// The last line, "RESULT key=value ...", is for the runner script.
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "OffscreenSession.h"
#include "text/Codec.h"

namespace {

using namespace quill;
using bench::Clock;
using bench::Seconds;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s INDEX-URL CHAPTERS [--work DIR] [--keep]\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const int chapters = std::atoi(argv[2]);
  std::filesystem::path work;
  bool keep = false;
  for (int i = 3; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--work" && i + 1 < argc) work = argv[++i];
    else if (flag == "--keep") keep = true;
  }
  if (work.empty()) work = bench::MakeWorkDirectory("quillmere-download-bench");
  std::filesystem::create_directories(work);

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
    s.Notices().AnswerNext(controls::kTimedOut);
    s.Button(u"按钮_获取章节标题")->click();
    if (!bench::RunUntil([&] { return !s.Session().IndexFetchRunning(); }, std::chrono::seconds(300)) ||
        view.超级列表框1.RowCount() != chapters) {
      std::fprintf(stderr, "the index gave %d rows, not %d\n", view.超级列表框1.RowCount(), chapters);
      std::_Exit(1);
    }

    // The last task to finish writes this count into the status line.
    const std::string allDone =
        std::to_string(chapters) + text::Cp936("个章节内容已下载，请等候章节内容下载完毕...");
    // Then the run, once it finds the pool idle, says it merges; the merge
    // lets events through after every row.
    const std::string merging = text::Cp936("章节内容已下载完毕，正在合并小说中...");
    std::optional<Clock::time_point> lastSaved, mergeStarted, noticeShown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      const std::string caption = view.标签4.Caption();
      if (!lastSaved && caption == allDone) lastSaved = Clock::now();
      if (!mergeStarted && caption == merging) mergeStarted = Clock::now();
    });
    s.Notices().Script().Push([&](const app::NoticeRequest&) {
      noticeShown = Clock::now();
      return controls::kIdOk;
    });
    const long rssBefore = bench::StatusKb("VmRSS");
    const double gui0 = bench::ThreadCpuSeconds(), process0 = bench::ProcessCpuSeconds();
    const long switches0 = bench::ContextSwitches();
    watch.start(1);
    app.StartTiming();
    const Clock::time_point t0 = Clock::now();
    s.Button(u"按钮_下载章节内容")->click();
    const Clock::time_point t1 = Clock::now();
    app.StopTiming();
    watch.stop();
    const double gui = bench::ThreadCpuSeconds() - gui0, process = bench::ProcessCpuSeconds() - process0;
    const long switches = bench::ContextSwitches() - switches0;

    int saved = 0;
    for (int row = 0; row < chapters; ++row) saved += view.超级列表框1.Cell(row, 3) == text::Cp936("下载完毕");
    const std::string statusLine = text::Utf8(view.标签4.Caption());
    if (saved != chapters || !lastSaved || !noticeShown) {
      std::fprintf(stderr, "only %d of %d chapters saved; status: %s\n", saved, chapters, statusLine.c_str());
      status = 1;
    }
    const double toLast = lastSaved ? Seconds(*lastSaved - t0) : 0;
    const double toNotice = noticeShown ? Seconds(*noticeShown - t0) : 0;
    const double whole = Seconds(t1 - t0);
    std::printf("chapters saved:                  %d of %d\n", saved, chapters);
    std::printf("press to last chapter saved:     %.3f s  (%.1f chapters/s)\n", toLast, chapters / toLast);
    const double toMerge = mergeStarted ? Seconds(*mergeStarted - t0) : toLast;
    std::printf("press to merged-book notice:     %.3f s  (waiting for the next idle test: %.3f s, merge: %.3f s)\n",
                toNotice, toMerge - toLast, toNotice - toMerge);
    std::printf("press to handler's return:       %.3f s  (%.1f chapters/s)\n", whole, chapters / whole);
    std::printf("GUI thread CPU during the run:   %.3f s  (%.0f%% of the time to the last chapter)\n", gui,
                100 * gui / toLast);
    app.Print();
    std::printf("process CPU during the run:      %.3f s, %ld context switches\n", process, switches);
    std::printf("RSS before the run:              %ld KB, peak (VmHWM) %ld KB\n", rssBefore,
                bench::StatusKb("VmHWM"));
    std::printf("status line:                     %s\n", statusLine.c_str());
    std::printf("RESULT saved=%d idle_wait_s=%.3f chapters_per_s=%.1f handler_chapters_per_s=%.1f to_last_s=%.3f handler_s=%.3f "
                "gui_cpu_s=%.3f cpu_s=%.3f switches=%ld peak_rss_kb=%ld\n",
                saved, toMerge - toLast, chapters / toLast, chapters / whole, toLast, whole, gui, process, switches,
                bench::StatusKb("VmHWM"));
  }
  if (!keep) {
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
  }
  return status;
}
