#include "Tracepost/Sources/LineQueue.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tracepost {
namespace {

std::vector<std::uint8_t> line(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> drain(LineQueue& queue) {
  std::vector<std::string> lines;
  while (const auto next = queue.pop()) lines.emplace_back(next->begin(), next->end());
  return lines;
}

TEST(LineQueue, KeepsTheNewestLinesWithinBothBoundsAndCountsTheRest) {
  // Lines bind first: three of two bytes each stay, the fourth pushes one out.
  LineQueue byLines(3, 100);
  EXPECT_FALSE(byLines.push(line("a1")));
  EXPECT_FALSE(byLines.push(line("a2")));
  EXPECT_FALSE(byLines.push(line("a3")));
  EXPECT_EQ(byLines.dropped(), 0u);
  EXPECT_TRUE(byLines.push(line("a4"))) << "the first drop begins a stall";
  EXPECT_FALSE(byLines.push(line("a5"))) << "and is said once";
  EXPECT_EQ(byLines.lines(), 3u);
  EXPECT_EQ(byLines.bytes(), 6u);
  EXPECT_EQ(byLines.dropped(), 2u);
  EXPECT_EQ(drain(byLines), (std::vector<std::string>{"a3", "a4", "a5"}));

  // Bytes bind first: ten bytes hold two five-byte lines, not a third.
  LineQueue byBytes(100, 10);
  byBytes.push(line("bbbb1"));
  byBytes.push(line("bbbb2"));
  EXPECT_EQ(byBytes.dropped(), 0u);
  EXPECT_TRUE(byBytes.push(line("b3")));
  EXPECT_EQ(byBytes.bytes(), 7u);
  EXPECT_EQ(drain(byBytes), (std::vector<std::string>{"bbbb2", "b3"}));
  EXPECT_EQ(byBytes.dropped(), 1u);
}

TEST(LineQueue, KeepsTheNewestLineWhateverItsSize) {
  LineQueue queue(3, 10);
  queue.push(line("small"));
  EXPECT_TRUE(queue.push(line(std::string(64, 'x'))));
  EXPECT_EQ(queue.lines(), 1u);
  EXPECT_EQ(queue.bytes(), 64u);
  EXPECT_EQ(queue.dropped(), 1u);
}

TEST(LineQueue, AStallEndsOnlyOnceTheQueueIsFoundEmpty) {
  LineQueue queue(1, 100);
  queue.push(line("1"));
  EXPECT_TRUE(queue.push(line("2")));
  ASSERT_TRUE(queue.pop());
  EXPECT_FALSE(queue.push(line("3")));
  EXPECT_FALSE(queue.push(line("4"))) << "the queue emptied but no one found it empty: the same stall";
  drain(queue);
  queue.push(line("5"));
  EXPECT_TRUE(queue.push(line("6"))) << "a new stall is said again";
  queue.clear();
  EXPECT_EQ(queue.lines(), 0u);
  EXPECT_EQ(queue.bytes(), 0u);
  EXPECT_EQ(queue.dropped(), 3u) << "cleared lines are not counted as dropped";
  queue.push(line("7"));
  EXPECT_TRUE(queue.push(line("8"))) << "clearing ends the stall too";
}

}  // namespace
}  // namespace tracepost
