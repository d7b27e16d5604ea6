#pragma once
// The download soak: the real download run, worker pool, page fetch and
// book files against a site that fails at random (FaultySite), with the
// windows faked. Download is pressed again after every run with failures
// until no row is left checked; after every run and at the end, every
// observable result is checked against what the site says it served. Shared
// by the soak test (small) and the soak benchmark (full size).
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/FaultySite.h"

namespace quill::download::soak {

struct SoakOptions {
  int chapters = 200;
  int maxRuns = 5;
  std::uint64_t seed = 1;
  // Whether the user ticks 选择框1 again before pressing download after a
  // run with failures, so that the last run merges by itself; otherwise the
  // book is merged with the merge button at the end.
  bool recheckAutoMerge = false;
  // The main window is closed during the first run, once a quarter of the
  // chapters are saved; then the program starts afresh (a new pool, the
  // index fetched again, every row checked) and the soak goes on.
  bool closeDuringFirstRun = false;
  std::chrono::milliseconds stallLimit{2000};
  // A run that has not ended by then is taken as hung.
  std::chrono::seconds runDeadline{120};
};

struct SoakReport {
  int chapters = 0;
  int runs = 0;
  bool converged = false;  // no row was left checked
  std::vector<int> failedPerRun;  // the closed run not included
  struct ClosedRun {
    int downloaded = 0, failed = 0, notStarted = 0;
    int waitedMs = 0;  // from the close until the running chapters had ended
  } closedRun;
  std::array<int, static_cast<int>(testsupport::SiteAnswer::kCount)> answers{};
  int requests = 0;
  int fetches = 0;
  int longestFetchMs = 0;
  int mostFetchesAtOnce = 0;
  int mostBusyWorkers = 0;
  double seconds = 0;
  long peakRssKb = 0;  // of the whole process, the site's threads included
  // What did not hold, the first few of them in full.
  std::vector<std::string> problems;
  int problemCount = 0;
};

SoakReport RunDownloadSoak(const SoakOptions& options);

}  // namespace quill::download::soak
