#include "DownloadSoak.h"

#include <gtest/gtest.h>

#include <iostream>

namespace quill::download::soak {
namespace {

using testsupport::SiteAnswer;

struct SoakCase {
  const char* name;
  std::uint64_t seed;
  bool recheckAutoMerge;
  bool closeDuringFirstRun;
};

void PrintTo(const SoakCase& c, std::ostream* os) { *os << c.name; }

class DownloadSoakTest : public testing::TestWithParam<SoakCase> {};

// Runs until no row is checked; every check of the soak must hold, and the
// site must really have served every kind of answer, so the soak proves
// what it claims.
TEST_P(DownloadSoakTest, EveryChapterEndsWholeWhateverTheSiteDoes) {
  SoakOptions options;
  options.chapters = 200;
  options.maxRuns = GetParam().closeDuringFirstRun ? 6 : 5;
  options.seed = GetParam().seed;
  options.recheckAutoMerge = GetParam().recheckAutoMerge;
  options.closeDuringFirstRun = GetParam().closeDuringFirstRun;
  const SoakReport report = RunDownloadSoak(options);

  std::cout << "soak: " << report.chapters << " chapters, " << report.runs << " runs, failures per run:";
  for (int f : report.failedPerRun) std::cout << ' ' << f;
  std::cout << ", " << report.requests << " requests, " << report.seconds << " s\n";
  if (GetParam().closeDuringFirstRun)
    std::cout << "closed run: " << report.closedRun.downloaded << " downloaded, " << report.closedRun.failed
              << " failed, " << report.closedRun.notStarted << " not started\n";

  EXPECT_TRUE(report.converged);
  // Every hundredth chapter fails its first two runs.
  EXPECT_GE(report.runs, 3);
  EXPECT_EQ(report.problemCount, 0);
  for (const std::string& problem : report.problems) ADD_FAILURE() << problem;
  for (int kind = 0; kind < static_cast<int>(SiteAnswer::kCount); ++kind)
    EXPECT_GT(report.answers[kind], 0) << testsupport::AnswerName(static_cast<SiteAnswer>(kind)) << " never served";
  EXPECT_LE(report.mostBusyWorkers, 10);
}

INSTANTIATE_TEST_SUITE_P(Seeds, DownloadSoakTest,
                         testing::Values(SoakCase{"MergedByHand", 8, false, false},
                                         SoakCase{"MergedByTheLastRun", 1008, true, false},
                                         SoakCase{"ClosedDuringTheFirstRun", 2008, false, true}),
                         [](const testing::TestParamInfo<SoakCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quill::download::soak
