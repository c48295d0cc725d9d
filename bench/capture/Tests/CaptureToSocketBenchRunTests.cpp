#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace {

using namespace std::chrono_literals;

struct Run {
  std::optional<int> exitCode;
  std::map<std::string, double> figures;
  std::string errors;
};

// Runs the bench on the synthetic screen and reads back its "name value" lines.
Run runBench(std::vector<std::string> arguments) {
  std::string pattern = (std::filesystem::temp_directory_path() / "capture-bench-test-XXXXXX").string();
  EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
  arguments.insert(arguments.begin(), CAPTURE_BENCH_PATH);
  replaykit_tests::ServiceProcess bench(arguments, {}, pattern);
  Run run;
  run.exitCode = bench.wait(120s);
  // The extension's log lines share the output.
  std::istringstream output(bench.standardOutput());
  for (std::string line; std::getline(output, line);) {
    std::istringstream words(line);
    std::string name, rest;
    double value = 0;
    if (words >> name >> value && !(words >> rest)) run.figures[name] = value;
  }
  run.errors = bench.standardError();
  std::filesystem::remove_all(pattern);
  return run;
}

void expectSaneFigures(const Run& run, int busyThreads) {
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  auto figures = run.figures;
  EXPECT_EQ(figures["busy_threads"], busyThreads);
  EXPECT_GE(figures["frames_published"], 2);
  EXPECT_LE(figures["frames_published"], figures["frames_delivered"]);
  // Every frame that reached the socket was found by its timestamp.
  EXPECT_EQ(figures["frames_unmatched"], 0);
  // No frame reaches the socket before it was captured.
  EXPECT_GT(figures["first_frame_ms"], 0);
  EXPECT_GT(figures["latency_min_ms"], 0);
  EXPECT_LE(figures["latency_min_ms"], figures["latency_median_ms"]);
  EXPECT_LE(figures["latency_median_ms"], figures["latency_p99_ms"]);
  EXPECT_LE(figures["latency_p99_ms"], figures["latency_max_ms"]);
  EXPECT_GT(figures["floor_min_ms"], 0);
  EXPECT_LE(figures["floor_median_ms"], figures["floor_p99_ms"]);
  EXPECT_GT(figures["ratio_median"], 0);
  EXPECT_GT(figures["allocations_per_frame"], 0);
  EXPECT_GT(figures["peak_rss_mb"], 1);
  EXPECT_GE(figures["load_average_1min"], 0);
}

TEST(CaptureToSocketBench, publishesTheSyntheticScreenAndReportsItsFigures) {
  expectSaneFigures(runBench({"--screen", "synthetic", "--seconds", "2"}), 0);
}

TEST(CaptureToSocketBench, runsBesideBusyThreads) {
  expectSaneFigures(runBench({"--screen", "synthetic", "--seconds", "2", "--load", "2"}), 2);
}

TEST(CaptureToSocketBench, refusesOptionsItCannotRunWith) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--screen", "webcam"}, {"--seconds", "0"}, {"--seconds", "soon"}, {"--load", "-1"}, {"--load"}}) {
    const auto run = runBench(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments[0];
    EXPECT_TRUE(run.figures.empty()) << arguments[0];
    EXPECT_NE(run.errors.find("usage"), std::string::npos) << arguments[0];
  }
}

}  // namespace
