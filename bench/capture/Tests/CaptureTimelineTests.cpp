#include <gtest/gtest.h>

#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPTimestamp.hpp"
#include "bench/capture/CaptureTimeline.hpp"
#include "bench/capture/Spread.hpp"

namespace capturebench {
namespace {

constexpr std::uint64_t millisecond = 1'000'000;
constexpr std::uint64_t period = 1'000'000'000 / 30;

// The bench's shape: the first frame, then the clock's grid from a period
// and a half later.
std::vector<std::uint64_t> benchCaptureTimes(std::uint64_t first, int frames) {
  std::vector<std::uint64_t> times{first};
  for (int index = 0; index + 1 < frames; ++index) times.push_back(first + period + period / 2 + index * period);
  return times;
}

CaptureTimeline timelineOf(const std::vector<std::uint64_t>& times) {
  CaptureTimeline timeline(times.size());
  for (const auto time : times) EXPECT_TRUE(timeline.note(time));
  return timeline;
}

// The absolute timestamps a stream gives these capture times, as the chunk
// reader adds its deltas up.
std::vector<std::uint32_t> publishedTimestamps(const std::vector<std::uint64_t>& times) {
  rtmpfluvio::RTMPTimestamp timestamp;
  std::vector<std::uint32_t> absolute;
  std::uint32_t sum = 0;
  for (const auto time : times) {
    sum += timestamp.update(static_cast<double>(time) / 1e9);
    absolute.push_back(sum);
  }
  return absolute;
}

TEST(CaptureTimeline, findsEveryPublishedFrameFromItsTimestamp) {
  for (const std::uint64_t first : {5'000'123'457ull, 86'399'999'999'999ull}) {
    const auto times = benchCaptureTimes(first, 900);
    const auto timeline = timelineOf(times);
    // The stream may drop frames on the way; those it sends still map.
    std::vector<std::uint64_t> sent;
    for (std::size_t index = 0; index < times.size(); ++index) {
      if (index == 0 || index % 7 != 3) sent.push_back(times[index]);
    }
    const auto timestamps = publishedTimestamps(sent);
    for (std::size_t index = 0; index < sent.size(); ++index) {
      ASSERT_EQ(timeline.captureTimeOf(timestamps[index]), sent[index]) << "frame " << index << " from " << first;
    }
  }
}

TEST(CaptureTimeline, acceptsCaptureTimesUpToTheToleranceFromWhereATimestampPoints) {
  const auto timeline = timelineOf({10 * millisecond, 45 * millisecond});
  EXPECT_EQ(timeline.captureTimeOf(0), 10 * millisecond);
  EXPECT_EQ(timeline.captureTimeOf(2), 10 * millisecond);
  EXPECT_EQ(timeline.captureTimeOf(3), std::nullopt);
  EXPECT_EQ(timeline.captureTimeOf(32), std::nullopt);
  EXPECT_EQ(timeline.captureTimeOf(33), 45 * millisecond);
  EXPECT_EQ(timeline.captureTimeOf(37), 45 * millisecond);
  EXPECT_EQ(timeline.captureTimeOf(38), std::nullopt);
  EXPECT_EQ(CaptureTimeline(4).captureTimeOf(0), std::nullopt);
}

TEST(CaptureTimeline, aPublicationThatLostItsFirstFrameMatchesNothing) {
  const auto times = benchCaptureTimes(7'000'000'000, 60);
  const auto timeline = timelineOf(times);
  std::vector<VideoArrival> arrivals;
  const std::vector<std::uint64_t> sent(times.begin() + 1, times.end());
  const auto timestamps = publishedTimestamps(sent);
  for (std::size_t index = 0; index < sent.size(); ++index) arrivals.push_back({timestamps[index], sent[index] + 1});
  std::size_t unmatched = 0;
  // The first frame (timestamp 0) still matches the first capture; no later one
  // does.
  EXPECT_EQ(timeline.latencies(arrivals, unmatched).size(), 1u);
  EXPECT_EQ(unmatched, sent.size() - 1);
}

TEST(CaptureTimeline, latencyIsArrivalMinusCaptureInArrivalOrder) {
  const auto times = benchCaptureTimes(3'000'000'000, 4);
  const auto timeline = timelineOf(times);
  const auto timestamps = publishedTimestamps(times);
  const std::vector<VideoArrival> arrivals{{timestamps[0], times[0] + 5 * millisecond},
                                           {timestamps[1], times[1] + 12'500'000},
                                           {999'999, times[3] + millisecond},
                                           {timestamps[3], times[3] + 40 * millisecond}};
  std::size_t unmatched = 9;
  const auto latencies = timeline.latencies(arrivals, unmatched);
  ASSERT_EQ(latencies.size(), 3u);
  EXPECT_DOUBLE_EQ(latencies[0], 5);
  EXPECT_DOUBLE_EQ(latencies[1], 12.5);
  EXPECT_DOUBLE_EQ(latencies[2], 40);
  EXPECT_EQ(unmatched, 1u);
}

TEST(CaptureTimeline, notesRisingTimesWithinItsRoomOnly) {
  CaptureTimeline timeline(2);
  EXPECT_TRUE(timeline.note(100));
  EXPECT_FALSE(timeline.note(100));
  EXPECT_FALSE(timeline.note(99));
  EXPECT_TRUE(timeline.note(101));
  EXPECT_FALSE(timeline.note(102));
  EXPECT_EQ(timeline.size(), 2u);
}

TEST(Spread, takesNearestRankPercentilesOfUnorderedFigures) {
  std::vector<double> figures;
  for (int value = 200; value >= 1; --value) figures.push_back(value);
  const auto spread = spreadOf(figures);
  EXPECT_EQ(spread.count, 200u);
  EXPECT_EQ(spread.min, 1);
  EXPECT_EQ(spread.median, 100);
  EXPECT_EQ(spread.p99, 198);
  EXPECT_EQ(spread.max, 200);

  const auto few = spreadOf({3, 1, 2});
  EXPECT_EQ(few.median, 2);
  EXPECT_EQ(few.p99, 3);
  const auto one = spreadOf({4.5});
  EXPECT_EQ(one.min, 4.5);
  EXPECT_EQ(one.median, 4.5);
  EXPECT_EQ(one.p99, 4.5);
  EXPECT_EQ(spreadOf({}).count, 0u);
  EXPECT_EQ(spreadOf({}).p99, 0);
}

}  // namespace
}  // namespace capturebench
