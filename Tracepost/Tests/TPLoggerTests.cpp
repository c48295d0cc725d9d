#include "Tracepost/Sources/TPLogger.hpp"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Tracepost/Sources/NullAppender.hpp"
#include "Tracepost/Tests/Support/RecordingAppender.hpp"

namespace tracepost {
namespace {

using testing::RecordingAppender;

// Counts how often it is turned into text.
struct CountedItem {
  int* conversions;
  friend std::ostream& operator<<(std::ostream& stream, const CountedItem& item) {
    ++*item.conversions;
    return stream << "counted";
  }
};

struct Described {
  std::string description() const { return "described"; }
};

std::string textOf(const auto&... items) {
  const std::array<MessageItem, sizeof...(items)> message{MessageItem(items)...};
  return messageText(Message(message));
}

TEST(TPLoggerRegistry, SameIdentifierGivesTheSameLogger) {
  const auto first = TPLogger::with("com.example.registry");
  const auto second = TPLogger::with("com.example.registry");
  EXPECT_EQ(first, second);
  first->setLevel(TPLogger::Level::error);
  EXPECT_EQ(second->level(), TPLogger::Level::error);
  EXPECT_NE(TPLogger::with("com.example.other"), first);
  EXPECT_NE(TPLogger::make("com.example.registry"), first) << "make() does not register";
}

TEST(TPLoggerRegistry, IsSafeFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<std::shared_ptr<TPLogger>> seen(8);
  for (std::size_t index = 0; index < seen.size(); ++index) {
    threads.emplace_back([&, index] {
      for (int round = 0; round < 200; ++round) {
        seen[index] = TPLogger::with("com.example.threads");
        seen[index]->setLevel(round % 2 ? TPLogger::Level::trace : TPLogger::Level::error);
        seen[index]->setAppender(NullAppender::shared());
        TP_ERROR(*seen[index], "round ", round);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& logger : seen) EXPECT_EQ(logger, seen.front());
}

TEST(TPLoggerLevels, FreshLoggerPassesInfoAndAbove) {
  const auto logger = TPLogger::make("com.example.levels");
  const auto appender = std::make_shared<RecordingAppender>();
  logger->setAppender(appender);
  EXPECT_EQ(logger->level(), TPLogger::Level::info);
  TP_TRACE(*logger, "t");
  TP_DEBUG(*logger, "d");
  TP_INFO(*logger, "i");
  TP_WARN(*logger, "w");
  TP_ERROR(*logger, "e");
  const auto records = appender->records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].level, TPLogger::Level::info);
  EXPECT_EQ(records[1].level, TPLogger::Level::warn);
  EXPECT_EQ(records[2].message, "e");
}

TEST(TPLoggerLevels, IsEnabledForComparesRawValues) {
  const auto logger = TPLogger::make("com.example.enabled");
  logger->setLevel(TPLogger::Level::error);
  for (int raw = 0; raw < 4; ++raw) EXPECT_FALSE(logger->isEnabledFor(*levelFromRawValue(raw)));
  EXPECT_TRUE(logger->isEnabledFor(TPLogger::Level::error));
  logger->setLevel(TPLogger::Level::trace);
  for (int raw = 0; raw <= 4; ++raw) EXPECT_TRUE(logger->isEnabledFor(*levelFromRawValue(raw)));
}

TEST(TPLoggerLevels, DisabledCallDoesNotTouchItsItems) {
  const auto logger = TPLogger::make("com.example.lazy");
  logger->setAppender(std::make_shared<RecordingAppender>());
  int conversions = 0;
  int evaluations = 0;
  TP_DEBUG(*logger, CountedItem{&conversions}, ++evaluations);
  TP_DEBUGF(*logger, "%d", ++evaluations);
  EXPECT_EQ(conversions, 0);
  EXPECT_EQ(evaluations, 0);
  TP_INFO(*logger, CountedItem{&conversions});
  EXPECT_EQ(conversions, 1);
}

TEST(TPLoggerLevels, WordsAndRawValues) {
  EXPECT_EQ(levelFromString("Warn"), TPLogger::Level::warn);
  for (const char* word : {"warn", "WARN", "", "Warning", "Warn "}) EXPECT_FALSE(levelFromString(word)) << word;
  EXPECT_EQ(levelFromRawValue(4), TPLogger::Level::error);
  EXPECT_FALSE(levelFromRawValue(5));
  EXPECT_FALSE(levelFromRawValue(-1));
  EXPECT_EQ(description(TPLogger::Level::trace), "Trace");
}

TEST(TPLoggerCalls, MacrosPassTheCallersPlace) {
  const auto logger = TPLogger::make("com.example.place");
  const auto appender = std::make_shared<RecordingAppender>();
  logger->setAppender(appender);
  const int line = __LINE__ + 1;
  TP_WARN(*logger);
  TP_ERRORF(*logger, "value %d", 7);
  const auto records = appender->records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].file, __FILE__);
  EXPECT_EQ(records[0].function, __func__);
  EXPECT_EQ(records[0].line, line);
  EXPECT_EQ(records[0].message, "");
  EXPECT_EQ(records[1].message, "value 7");
  EXPECT_EQ(records[1].level, TPLogger::Level::error);
}

TEST(TPLoggerCalls, NullAppenderIsTakenAsTheNullAppender) {
  const auto logger = TPLogger::make("com.example.null");
  logger->setAppender(nullptr);
  EXPECT_EQ(logger->appender(), NullAppender::shared());
  TP_ERROR(*logger, "dropped");
}

TEST(TPLoggerMessageText, ItemsAreDescribedAndConcatenated) {
  EXPECT_EQ(textOf(1, "a", 2.5), "1a2.5");
  EXPECT_EQ(textOf(), "");
  EXPECT_EQ(textOf(1.0, 0.1, -3, 42u, 'x', true, false), "10.1-342xtruefalse");
  EXPECT_EQ(textOf(std::string("s"), std::string_view("v")), "sv");
  EXPECT_EQ(textOf(std::optional<int>(5), std::optional<int>(), nullptr), "5nilnil");
  EXPECT_EQ(textOf(std::runtime_error("broken")), "broken");
  EXPECT_EQ(textOf(std::vector<int>{1, 2, 3}), "[1, 2, 3]");
  EXPECT_EQ(textOf(std::map<std::string, int>{{"a", 1}, {"b", 2}}), "[a: 1, b: 2]");
  EXPECT_EQ(textOf(std::pair(1, "one")), "(1, one)");
  EXPECT_EQ(textOf(Described{}, TPLogger::Level::warn), "describedWarn");
  const char* none = nullptr;
  EXPECT_EQ(textOf(none), "nil");
}

TEST(TPLoggerFileName, IsTheLastPathPiece) {
  EXPECT_EQ(TPLogger::fileName("/src/Net/Socket.ext"), "Socket.ext");
  EXPECT_EQ(TPLogger::fileName("Socket.ext"), "Socket.ext");
  EXPECT_EQ(TPLogger::fileName("/src/Net/"), "");
}

}  // namespace
}  // namespace tracepost
