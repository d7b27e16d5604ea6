#include "DownloadSoak.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "FakeControls.h"
#include "download/DownloadRun.h"
#include "text/Codec.h"
#include "web/FetchPage.h"
#include "web/FetchTesting.h"

namespace quill::download::soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::FaultySite;
using testsupport::SiteAnswer;

constexpr int kWorkers = 10;
constexpr size_t kProblemsKept = 40;

int MsSince(Clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Problems {
 public:
  explicit Problems(SoakReport& report) : report_(report) {}
  void Add(const std::string& what) {
    std::lock_guard guard(lock_);
    ++report_.problemCount;
    if (report_.problems.size() < kProblemsKept) report_.problems.push_back(what);
  }

 private:
  std::mutex lock_;
  SoakReport& report_;
};

struct Texts {
  std::string waiting = text::Cp936("等待下载");
  std::string done = text::Cp936("下载完毕");
  std::string failed = text::Cp936("失败3次");
  std::string started = text::Cp936("正在下载小说章节内容，请等候...");
  std::string merged = text::Cp936("整本小说下载完毕");
  std::string downloaded = text::Cp936("章节内容已下载完毕");
  std::string progress = text::Cp936("个章节内容已下载，请等候章节内容下载完毕...");
  std::string Report(int failed) const {
    return text::Cp936("有") + std::to_string(failed) +
           text::Cp936("个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
  }
};

// The chapter number in a chapter address ".../<1000 + n>.html".
int ChapterOf(std::string_view address) {
  const size_t slash = address.rfind('/');
  const std::string name(address.substr(slash == std::string_view::npos ? 0 : slash + 1));
  return std::atoi(name.c_str()) - 1000;
}

// Wraps the real fetch: every page handed to a chapter task must be what
// the site's last answer for that chapter promised, byte for byte, and no
// page may be handed on from an answer that did not carry it whole.
class FetchWatch {
 public:
  FetchWatch(const FaultySite& site, Problems& problems) : site_(site), problems_(problems) {}

  std::string Fetch(std::string_view address) {
    const int chapter = ChapterOf(address);
    const int asked = site_.ServedFor(chapter).requests;
    const int atOnce = ++inFlight_;
    const Clock::time_point start = Clock::now();
    std::string body = web::FetchPage(address);
    const int ms = MsSince(start);
    --inFlight_;
    const FaultySite::Served served = site_.ServedFor(chapter);
    {
      std::lock_guard guard(lock_);
      ++fetches_;
      longestMs_ = std::max(longestMs_, ms);
      mostAtOnce_ = std::max(mostAtOnce_, atOnce);
      ++fetchedThisRun_[std::string(address)];
    }
    const std::string where = "chapter " + std::to_string(chapter) + ": ";
    if (chapter < 1 || chapter > static_cast<int>(site_.Chapters().size())) {
      problems_.Add("a fetch of an address that is no chapter: " + std::string(address));
    } else if (served.requests == asked) {
      problems_.Add(where + "a fetch that never reached the site");
    } else if (testsupport::GivesThePage(served.last) != !body.empty()) {
      problems_.Add(where + "the site answered '" + testsupport::AnswerName(served.last) + "' and the fetch gave " +
                    (body.empty() ? "nothing" : std::to_string(body.size()) + " bytes"));
    } else if (!body.empty()) {
      const testsupport::SiteChapter& c = site_.Chapters()[static_cast<size_t>(chapter - 1)];
      if (body != (served.last == SiteAnswer::kInvalidUtf8 ? c.utf8Page : c.gbkPage))
        problems_.Add(where + "the fetch gave a page other than the one sent ('" +
                      testsupport::AnswerName(served.last) + "')");
    }
    return body;
  }

  std::map<std::string, int> TakeFetched() {
    std::lock_guard guard(lock_);
    return std::exchange(fetchedThisRun_, {});
  }
  void Figures(SoakReport& report) {
    std::lock_guard guard(lock_);
    report.fetches = fetches_;
    report.longestFetchMs = longestMs_;
    report.mostFetchesAtOnce = mostAtOnce_;
  }

 private:
  const FaultySite& site_;
  Problems& problems_;
  std::atomic<int> inFlight_{0};
  std::mutex lock_;
  int fetches_ = 0;
  int longestMs_ = 0;
  int mostAtOnce_ = 0;
  std::map<std::string, int> fetchedThisRun_;
};

// The fake pump, plus the close of the main window arriving while the GUI
// thread waits: the handler runs inside the wait, as an event would.
class ClosingPump : public controls::MessagePump {
 public:
  void ProcessPending() override { inner_.ProcessPending(); }
  bool PumpingWait(int amount, int unit) override {
    if (when_ && when_()) {
      auto handler = std::exchange(handler_, {});
      when_ = {};
      handler();
    }
    return inner_.PumpingWait(amount, unit);
  }
  // GUI thread only, like the waits.
  void CloseWhen(std::function<bool()> when, std::function<void()> handler) {
    when_ = std::move(when);
    handler_ = std::move(handler);
  }

 private:
  fakes::FakePump inner_;
  std::function<bool()> when_;
  std::function<void()> handler_;
};

// What a run is checked against: the state when download was pressed.
struct BeforeRun {
  std::set<int> checkedRows;
  bool autoMerge = false;
  size_t captions = 0;
  size_t notices = 0;
};

class Soak {
 public:
  Soak(const SoakOptions& options, SoakReport& report)
      : options_(options),
        report_(report),
        problems_(report),
        site_({options.chapters, options.seed, options.stallLimit}),
        files_(work_.Path()),
        watch_(site_, problems_),
        tasks_{view_, lock_, failed_, done_, [this](std::string_view a) { return watch_.Fetch(a); },
               [this](const std::string& title, int n, std::string_view text) {
                 files_.WriteChapter(title, n, text);
                 ++saves_;
               }} {
    ui_.编辑框1.SetText(site_.IndexAddress());
    ui_.章节内容左.SetText(FaultySite::LeftMarker());
    ui_.章节内容右.SetText(FaultySite::RightMarker());
    StartProgram();
  }

  void Run() {
    bool mergedByRun = false;
    for (int number = 1; number <= options_.maxRuns && !CheckedRows().empty(); ++number) {
      const bool closing = number == 1 && options_.closeDuringFirstRun;
      if (closing) {
        // Closed once a quarter of the book is saved, with most chapters
        // still queued and some stalled on the site.
        pump_.CloseWhen([this] { return saves_.load() >= options_.chapters / 4; },
                        [this] {
                          const Clock::time_point closed = Clock::now();
                          run_->closeRequested = true;
                          StopPoolForShutdown(*pool_, pump_);
                          report_.closedRun.waitedMs = MsSince(closed);
                        });
      }
      if (number > 1 && options_.recheckAutoMerge) {
        ui_.选择框1.SetChecked(true);  // and its click handler disables the merge button
        ui_.merge.SetEnabled(false);
      }
      BeforeRun before{CheckedRows(), ui_.选择框1.IsChecked(), ui_.标签4.History().size(),
                       ui_.notices.Calls().size()};
      report_.runs = number;
      if (!DriveRun(number)) return;  // hung: nothing after it can be trusted
      if (closing) {
        CheckClosedRun(before);
        StartProgram();
        continue;
      }
      const int failedRows = CheckRun(number, before);
      report_.failedPerRun.push_back(failedRows);
      mergedByRun = before.autoMerge && failedRows == 0;
    }
    report_.converged = CheckedRows().empty();
    if (!report_.converged) {
      problems_.Add(std::to_string(CheckedRows().size()) + " rows still checked after " +
                    std::to_string(report_.runs) + " runs");
    } else {
      if (!mergedByRun) MergeByHand();
      CheckBook();
    }
    ShutDown();
    CheckWorkingDirectory();
    report_.answers = site_.AnswerCounts();
    report_.requests = site_.Requests();
    for (const std::string& stray : site_.Strays()) problems_.Add("a request for no chapter: " + stray);
    watch_.Figures(report_);
  }

 private:
  // A fresh start of the program, and the index fetched: a new pool, every
  // row checked and waiting, automatic merging on. Chapter files already on
  // disk stay, and are replaced as their rows are downloaded again.
  void StartProgram() {
    run_.reset();
    pool_ = std::make_unique<pool::WorkerPool>();
    run_ = std::make_unique<DownloadContext>(DownloadContext{view_, *pool_, tasks_, files_});
    ui_.标签_书名.SetCaption(FaultySite::BookTitle());
    ui_.标签_作者.SetCaption(FaultySite::BookAuthor());
    ui_.table.Clear();
    for (const testsupport::SiteChapter& c : site_.Chapters()) {
      const int row = ui_.table.AppendRow(std::to_string(ui_.table.RowCount() + 1));
      ui_.table.SetCell(row, 1, c.title);
      ui_.table.SetCell(row, 2, c.address);
      ui_.table.SetCell(row, 3, texts_.waiting);
      ui_.table.SetStateImage(row, 1);
    }
    ui_.选择框1.SetChecked(true);
    ui_.merge.SetEnabled(false);
    ui_.download.SetEnabled(true);
    ui_.rulesWindow.SetEnabled(true);
  }

  std::set<int> CheckedRows() {
    std::set<int> rows;
    for (int row = 0; row < ui_.table.RowCount(); ++row)
      if (ui_.table.StateImage(row) == 1) rows.insert(row);
    return rows;
  }

  fs::path ChapterPath(int number) const {
    return fs::path(work_.Path()) / FaultySite::BookDirectoryName() / (std::to_string(number) + ".txt");
  }

  // Presses download on a thread of its own, standing in for the GUI thread,
  // and watches the pool's counters until the run ends or its deadline
  // passes. False when it hung.
  bool DriveRun(int number) {
    std::atomic<bool> ended{false};
    std::thread gui([&] {
      DownloadRun(*run_);
      ended = true;
    });
    const Clock::time_point deadline = Clock::now() + options_.runDeadline;
    bool countersBad = false;
    bool hung = false;
    while (!ended.load()) {
      const int busy = pool_->BusyCount();
      const int queued = pool_->QueuedCount();
      const int workers = pool_->WorkerCount();
      report_.mostBusyWorkers = std::max(report_.mostBusyWorkers, busy);
      if (!countersBad && (busy < 0 || busy > kWorkers || queued < 0 || workers > kWorkers)) {
        countersBad = true;
        problems_.Add("run " + std::to_string(number) + ": pool counters out of range: busy " +
                      std::to_string(busy) + ", queued " + std::to_string(queued) + ", workers " +
                      std::to_string(workers));
      }
      if (!hung && Clock::now() > deadline) {
        hung = true;
        problems_.Add("run " + std::to_string(number) + " had not ended after " +
                      std::to_string(options_.runDeadline.count()) + " s: busy " + std::to_string(busy) +
                      ", queued " + std::to_string(queued) + ", idle " + std::to_string(pool_->IdleWorkers()));
        site_.Stop();  // every fetch still waiting on the site fails now
      }
      if (hung && Clock::now() > deadline + std::chrono::seconds(60)) {
        std::fprintf(stderr, "download soak: run %d is stuck even with the site stopped\n", number);
        std::abort();  // the run's thread cannot be joined: end here rather than hang
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    gui.join();
    return !hung;
  }

  struct Tally {
    int failed = 0;      // rows marked failed
    int newlyDone = 0;   // rows of this run marked downloaded
    int notStarted = 0;  // rows of this run still waiting (a closed run only)
  };

  // The rows and files after a run: each row fetched as often as its status
  // says, a file on disk exactly for the rows ever downloaded, each file
  // exactly the expected bytes, and the counters in step with the rows.
  Tally CheckRowsAndFiles(const std::string& run, const BeforeRun& before, bool closed) {
    Tally tally;
    std::map<std::string, int> fetched = watch_.TakeFetched();
    const std::string base = ui_.编辑框2.GetText();
    for (int row = 0; row < ui_.table.RowCount(); ++row) {
      const std::string status = ui_.table.Cell(row, 3);
      const bool checked = ui_.table.StateImage(row) == 1;
      const bool wasChecked = before.checkedRows.count(row) > 0;
      const std::string where = run + "row " + std::to_string(row + 1) + ": ";
      const int fetches = fetched[base + ui_.table.Cell(row, 2)];
      fetched.erase(base + ui_.table.Cell(row, 2));
      if (wasChecked ? fetches > 3 : fetches != 0)
        problems_.Add(where + "fetched " + std::to_string(fetches) + " times");
      if (status == texts_.failed) {
        ++tally.failed;
        if (!checked || !wasChecked) problems_.Add(where + "failed but is not a checked row of this run");
        if (fetches != 3) problems_.Add(where + "failed after " + std::to_string(fetches) + " fetches");
      } else if (status == texts_.done) {
        if (wasChecked) ++tally.newlyDone;
        if (checked) problems_.Add(where + "downloaded but still checked");
        if (wasChecked && fetches < 1) problems_.Add(where + "downloaded without a fetch");
        saved_.insert(row);
      } else if (closed && status == texts_.waiting && wasChecked && checked && fetches == 0) {
        ++tally.notStarted;  // a queued chapter that the close kept from running
      } else {
        problems_.Add(where + "ends the run as '" + text::Utf8(status) + "' after " + std::to_string(fetches) +
                      " fetches");
      }
    }
    for (const auto& [address, count] : fetched)
      problems_.Add(run + "fetched an address of no row: " + address);

    std::set<int> onDisk;
    std::error_code ec;
    for (const fs::directory_entry& e :
         fs::directory_iterator(fs::path(work_.Path()) / FaultySite::BookDirectoryName(), ec)) {
      const std::string name = e.path().filename().string();
      const int n = std::atoi(name.c_str());
      if (name != std::to_string(n) + ".txt" || n < 1 || n > ui_.table.RowCount()) {
        problems_.Add(run + "an unexpected file in the book directory: " + name);
        continue;
      }
      onDisk.insert(n - 1);
      if (ReadWholeFile(e.path()) != site_.Chapters()[static_cast<size_t>(n - 1)].expected)
        problems_.Add(run + "chapter file " + name + " does not hold the expected bytes");
    }
    if (ec) problems_.Add(run + "the book directory cannot be read");
    if (onDisk != saved_)
      problems_.Add(run + std::to_string(onDisk.size()) + " chapter files for " + std::to_string(saved_.size()) +
                    " rows ever downloaded");

    const int failedCount = failed_.Get();
    if (failedCount != tally.failed)
      problems_.Add(run + "FailedCount " + std::to_string(failedCount) + " for " + std::to_string(tally.failed) +
                    " failed rows");
    lock_.Enter();
    const int doneCount = done_;
    lock_.Leave();
    if (doneCount != tally.newlyDone)
      problems_.Add(run + "DoneCount " + std::to_string(doneCount) + " for " + std::to_string(tally.newlyDone) +
                    " chapters downloaded");
    return tally;
  }

  // Checks the table, the status line, the notices, the files and the pool
  // after a run; returns the number of rows marked failed.
  int CheckRun(int number, const BeforeRun& before) {
    const std::string run = "run " + std::to_string(number) + ": ";
    const Tally tally = CheckRowsAndFiles(run, before, false);
    if (tally.failed + tally.newlyDone != static_cast<int>(before.checkedRows.size()))
      problems_.Add(run + "not every checked row was downloaded or failed");
    CheckStatusLine(run, before, tally.failed, tally.newlyDone);
    CheckPoolAtRest(run);
    return tally.failed;
  }

  // A run during which the main window was closed: the chapters running
  // then finished, the queued ones never ran, the run ended without an
  // outcome, and nothing ran after it.
  void CheckClosedRun(const BeforeRun& before) {
    const std::string run = "run 1, closed: ";
    if (!run_->closeRequested) {
      problems_.Add(run + "the close never came");
      return;
    }
    const Tally tally = CheckRowsAndFiles(run, before, true);
    if (tally.notStarted == 0) problems_.Add(run + "every queued chapter still ran");
    if (ui_.notices.Calls().size() != before.notices) problems_.Add(run + "a notice after the close");
    if (!pool_->IsIdle() || pool_->BusyCount() != 0 || pool_->QueuedCount() != 0)
      problems_.Add(run + "the run ended with the pool not idle");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!watch_.TakeFetched().empty()) problems_.Add(run + "chapters were fetched after the close");
    report_.closedRun.downloaded = tally.newlyDone;
    report_.closedRun.failed = tally.failed;
    report_.closedRun.notStarted = tally.notStarted;
  }

  void CheckStatusLine(const std::string& run, const BeforeRun& before, int failedRows, int newlyDone) {
    const std::vector<std::string> captions = ui_.标签4.History();
    const std::vector<fakes::NoticeCall> notices = ui_.notices.Calls();
    // The progress texts count 1, 2, ... up to the chapters downloaded.
    std::vector<int> counted;
    for (size_t i = before.captions; i < captions.size(); ++i) {
      const std::string& c = captions[i];
      if (c.size() > texts_.progress.size() && c.compare(c.size() - texts_.progress.size(), std::string::npos,
                                                         texts_.progress) == 0)
        counted.push_back(std::atoi(c.c_str()));
    }
    bool inOrder = static_cast<int>(counted.size()) == newlyDone;
    for (size_t i = 0; inOrder && i < counted.size(); ++i) inOrder = counted[i] == static_cast<int>(i) + 1;
    if (!inOrder)
      problems_.Add(run + "the progress texts do not count 1 to " + std::to_string(newlyDone) + " (" +
                    std::to_string(counted.size()) + " of them)");
    if (captions.size() <= before.captions || captions[before.captions] != texts_.started)
      problems_.Add(run + "the status line did not start with the run's text");

    const std::string last = ui_.标签4.Caption();
    const std::vector<fakes::NoticeCall> added(notices.begin() + static_cast<long>(before.notices), notices.end());
    auto noticeIs = [&](const std::string& message) {
      return added.size() == 1 && added[0].message == message && added[0].style == controls::kStyleInformation;
    };
    if (before.autoMerge && failedRows == 0) {
      if (last != texts_.merged || !noticeIs(texts_.merged) || ui_.merge.IsEnabled())
        problems_.Add(run + "no failure, yet the book was not reported merged");
    } else if (before.autoMerge) {
      if (last != texts_.Report(failedRows) || !added.empty() || ui_.选择框1.IsChecked() || !ui_.merge.IsEnabled())
        problems_.Add(run + "the status line '" + text::Utf8(last) + "' does not report " +
                      std::to_string(failedRows) + " failed rows, or the controls are wrong");
    } else if (last != texts_.Report(failedRows) || !noticeIs(texts_.downloaded)) {
      problems_.Add(run + "the status line '" + text::Utf8(last) + "' does not report " +
                    std::to_string(failedRows) + " failed rows, or no notice");
    }
    if (!ui_.download.IsEnabled() || !ui_.选择框1.IsEnabled() || !ui_.rulesWindow.IsEnabled())
      problems_.Add(run + "controls left disabled");
  }

  void CheckPoolAtRest(const std::string& run) {
    if (!pool_->IsIdle() || pool_->BusyCount() != 0 || pool_->QueuedCount() != 0)
      problems_.Add(run + "the run ended with the pool not idle");
    // A second run creates no threads: the first run's ten serve them all.
    if (pool_->WorkerCount() != kWorkers) problems_.Add(run + std::to_string(pool_->WorkerCount()) + " workers");
  }

  std::string ExpectedBook() const {
    std::string book;
    for (const testsupport::SiteChapter& c : site_.Chapters()) book += c.expected + "\r\n\r\n";
    return book;
  }

  void MergeByHand() {
    if (!ui_.merge.IsEnabled()) problems_.Add("the merge button is disabled after the last run");
    const size_t notices = ui_.notices.Calls().size();
    MergeButton(view_, files_);
    const std::vector<fakes::NoticeCall> calls = ui_.notices.Calls();
    if (ui_.标签4.Caption() != texts_.merged || calls.size() != notices + 1 || calls.back().message != texts_.merged)
      problems_.Add("the merge button did not report the book merged");
  }

  void CheckBook() {
    const fs::path book = fs::path(work_.Path()) / FaultySite::BookFileName();
    if (!fs::exists(book)) {
      problems_.Add("no book file");
    } else if (ReadWholeFile(book) != ExpectedBook()) {
      problems_.Add("the book file does not hold the expected bytes");
    }
  }

  void ShutDown() {
    std::atomic<bool> ended{false};
    std::thread gui([&] {
      StopPoolForShutdown(*pool_, pump_);
      ended = true;
    });
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (!ended.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!ended.load()) {
      std::fprintf(stderr, "download soak: the pool's shut-down does not end\n");
      std::abort();
    }
    gui.join();
  }

  // Nothing half written anywhere: no temporary file left by a write, and
  // every file is one the book should have.
  void CheckWorkingDirectory() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(work_.Path(), ec); !ec && it != fs::end(it); it.increment(ec)) {
      const fs::path relative = fs::relative(it->path(), work_.Path());
      const std::string name = relative.string();
      const bool known = name == FaultySite::BookDirectoryName() ||
                         (name == FaultySite::BookFileName() && report_.converged) ||
                         relative.parent_path() == FaultySite::BookDirectoryName();
      if (name.find(".part-") != std::string::npos) {
        problems_.Add("a temporary file was left behind: " + name);
      } else if (!known) {
        problems_.Add("an unexpected file: " + name);
      }
    }
    if (ec) problems_.Add("the working directory cannot be read");
  }

  const SoakOptions& options_;
  SoakReport& report_;
  Problems problems_;
  const Texts texts_;
  FaultySite site_;
  testsupport::TempDir work_;
  BookFiles files_;
  fakes::FakeUi ui_;
  pool::SectionLock lock_;
  pool::SharedCounter failed_;
  int32_t done_ = 0;
  ClosingPump pump_;
  controls::Ui view_{ui_.main, ui_.rules, ui_.notices, pump_};
  std::atomic<int> saves_{0};
  std::set<int> saved_;  // rows with a chapter file on disk
  FetchWatch watch_;
  extract::ChapterTaskContext tasks_;
  // Last: destroyed first, so no worker outlives what the tasks use.
  std::unique_ptr<pool::WorkerPool> pool_;
  std::unique_ptr<DownloadContext> run_;
};

}  // namespace

SoakReport RunDownloadSoak(const SoakOptions& options) {
  const Clock::time_point start = Clock::now();
  SoakReport report;
  report.chapters = options.chapters;
  web::InitWeb();
  web::NetworkLimits limits;
  limits.connectTimeoutMs = 10'000;
  limits.stallTimeoutMs = static_cast<long>(options.stallLimit.count());
  web::testing::SetLimits(limits);
  {
    Soak soak(options, report);
    soak.Run();
  }
  web::testing::SetLimits(web::NetworkLimits{});
  report.seconds = MsSince(start) / 1000.0;
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  report.peakRssKb = usage.ru_maxrss;
  return report;
}

}  // namespace quill::download::soak
