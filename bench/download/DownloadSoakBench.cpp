// The download soak at full size: 1,000 chapters, up to five runs, against
// a site that fails at random. Prints what it took and what the site did;
// exits 1 when a check did not hold or rows were left over.
//
//   download_soak_bench [--chapters N] [--runs N] [--seed S] [--recheck] [--close]
//
// --recheck ticks automatic merging again before each new run, so that the
// last run merges; --close closes the window during the first run and
// starts the program afresh.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DownloadSoak.h"

using quill::download::soak::RunDownloadSoak;
using quill::download::soak::SoakOptions;
using quill::download::soak::SoakReport;
using quill::testsupport::AnswerName;
using quill::testsupport::SiteAnswer;

int main(int argc, char** argv) {
  SoakOptions options;
  options.chapters = 1000;
  options.maxRuns = 5;
  options.seed = 8;
  options.runDeadline = std::chrono::seconds(600);
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--chapters") && hasValue) {
      options.chapters = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--runs") && hasValue) {
      options.maxRuns = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--seed") && hasValue) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (!std::strcmp(argv[i], "--recheck")) {
      options.recheckAutoMerge = true;
    } else if (!std::strcmp(argv[i], "--close")) {
      options.closeDuringFirstRun = true;
    } else {
      std::fprintf(stderr, "usage: %s [--chapters N] [--runs N] [--seed S] [--recheck] [--close]\n", argv[0]);
      return 2;
    }
  }
  if (options.chapters < 1 || options.maxRuns < 1) return 2;

  const SoakReport r = RunDownloadSoak(options);

  std::printf("download soak, seed %llu, stall limit %lld ms, 10 workers\n",
              static_cast<unsigned long long>(options.seed), static_cast<long long>(options.stallLimit.count()));
  std::printf("  chapters            %d\n", r.chapters);
  std::printf("  runs needed         %d of at most %d (%s)\n", r.runs, options.maxRuns,
              r.converged ? "no row left checked" : "rows left checked");
  if (options.closeDuringFirstRun)
    std::printf("  closed first run    %d downloaded, %d failed, %d never started; the close waited %d ms\n",
                r.closedRun.downloaded, r.closedRun.failed, r.closedRun.notStarted, r.closedRun.waitedMs);
  std::printf("  failed per run     ");
  for (int f : r.failedPerRun) std::printf(" %d", f);
  std::printf("\n  requests served     %d, fetches %d\n", r.requests, r.fetches);
  std::printf("  answers by kind:\n");
  for (int k = 0; k < static_cast<int>(SiteAnswer::kCount); ++k)
    std::printf("    %-16s %6d  %5.1f%%\n", AnswerName(static_cast<SiteAnswer>(k)), r.answers[k],
                r.requests ? 100.0 * r.answers[k] / r.requests : 0.0);
  std::printf("  time                %.1f s (%.1f chapters/s)\n", r.seconds,
              r.seconds > 0 ? r.chapters / r.seconds : 0.0);
  std::printf("  longest fetch       %d ms\n", r.longestFetchMs);
  std::printf("  most at once        %d fetches, %d busy workers\n", r.mostFetchesAtOnce, r.mostBusyWorkers);
  std::printf("  peak RSS            %.1f MB (the site runs in the same process)\n", r.peakRssKb / 1024.0);
  std::printf("  problems            %d\n", r.problemCount);
  for (const std::string& p : r.problems) std::printf("    %s\n", p.c_str());
  return r.converged && r.problemCount == 0 ? 0 : 1;
}
