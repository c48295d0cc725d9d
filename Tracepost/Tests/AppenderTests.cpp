#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdio>

#include "Tracepost/Sources/ConsoleAppender.hpp"
#include "Tracepost/Sources/MultiAppender.hpp"
#include "Tracepost/Sources/NullAppender.hpp"
#include "Tracepost/Sources/OSLoggerAppender.hpp"
#include "Tracepost/Tests/Support/RecordingAppender.hpp"

namespace tracepost {
namespace {

using testing::FixedClock;
using testing::RecordingAppender;

std::string consoleOutput(const std::function<void()>& logging) {
  ::testing::internal::CaptureStdout();
  logging();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

class ConsoleAppenderTest : public ::testing::Test {
 protected:
  FixedClock clock;
  std::shared_ptr<TPLogger> logger = TPLogger::make("com.fluvio.RTMPFluvio");
};

TEST_F(ConsoleAppenderTest, PrintsTheLineByteForByte) {
  const std::string line = consoleOutput([&] { logger->warn("/src/Net/Socket.ext", "send(_:)", 42, 1, "a", 2.5); });
  EXPECT_EQ(line, "2024-17-03 14:07:09.042 [Warn] [com.fluvio.RTMPFluvio] [Socket.ext:42] send(_:) > 1a2.5\n");
}

TEST_F(ConsoleAppenderTest, EmptyMessageAndFormatForm) {
  const std::string output = consoleOutput([&] {
    logger->error("Main.cpp", "main", 1);
    logger->info("Main.cpp", "main", 2, TPLogger::Format{"%d frames"}, 30);
  });
  EXPECT_EQ(output,
            "2024-17-03 14:07:09.042 [Error] [com.fluvio.RTMPFluvio] [Main.cpp:1] main > \n"
            "2024-17-03 14:07:09.042 [Info] [com.fluvio.RTMPFluvio] [Main.cpp:2] main > 30 frames\n");
}

TEST_F(ConsoleAppenderTest, MultiAppenderCallsMembersInOrder) {
  const auto multi = MultiAppender::make();
  const auto console = ConsoleAppender::make();
  const auto recording = std::make_shared<RecordingAppender>();
  multi->setAppenders({console, recording, console, nullptr});
  logger->setAppender(multi);
  const int callLine = __LINE__ + 1;
  const std::string output = consoleOutput([&] { TP_INFO(*logger, "twice"); });
  const std::string line = "2024-17-03 14:07:09.042 [Info] [com.fluvio.RTMPFluvio] [AppenderTests.cpp:" +
                           std::to_string(callLine) + "] operator() > twice\n";
  EXPECT_EQ(output, line + line);
  EXPECT_EQ(recording->records().size(), 1u);
}

TEST(MultiAppender, MembersAddedDuringAFanOutWaitForTheNextRecord) {
  struct Adding : TPLoggerAppender {
    MultiAppender* multi;
    std::shared_ptr<RecordingAppender> added = std::make_shared<RecordingAppender>();
    void append(const TPLogger&, TPLoggerLevel, Message, std::string_view, std::string_view, int) override {
      multi->appenders().push_back(added);
    }
    void append(const TPLogger&, TPLoggerLevel, std::string_view, const FormatArgument&, std::string_view,
                std::string_view, int) override {}
  };
  const auto multi = MultiAppender::make();
  const auto adding = std::make_shared<Adding>();
  adding->multi = multi.get();
  multi->appenders().push_back(adding);
  const auto logger = TPLogger::make("com.example.multi");
  logger->setAppender(multi);
  TP_INFO(*logger, "first");
  EXPECT_TRUE(adding->added->records().empty());
  TP_INFO(*logger, "second");
  EXPECT_EQ(adding->added->records().size(), 1u);
}

TEST(NullAppender, IsOneSharedInstanceThatDiscards) {
  EXPECT_EQ(NullAppender::shared(), NullAppender::shared());
  const auto logger = TPLogger::make("com.example.discard");
  logger->setAppender(NullAppender::shared());
  EXPECT_EQ(consoleOutput([&] { TP_ERROR(*logger, "gone"); }), "");
}

// Entries reach standard error too (LOG_PERROR), so the test can see which
// types pass the log mask.
class OSLoggerAppenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    openlog("tracepost_tests", LOG_PERROR, LOG_USER);
    savedMask = setlogmask(0);
    logger->setLevel(TPLogger::Level::trace);
    logger->setAppender(OSLoggerAppender::make("com.fluvio.Fluvio", "tests"));
  }
  void TearDown() override {
    setlogmask(savedMask);
    closelog();
  }

  // Which of the five levels produce an entry under `mask`.
  std::string levelsPassing(int mask) {
    setlogmask(mask);
    ::testing::internal::CaptureStderr();
    logger->trace("/a/T.cpp", "t", 1, "trace");
    logger->debug("/a/T.cpp", "t", 1, "debug");
    logger->info("/a/T.cpp", "t", 1, "info");
    logger->warn("/a/T.cpp", "t", 1, "warn");
    logger->error("/a/T.cpp", "t", 1, TPLogger::Format{"%s"}, "error");
    const std::string output = ::testing::internal::GetCapturedStderr();
    std::string passing;
    for (const char* word : {"trace", "debug", "info", "warn", "error"}) {
      if (output.find(std::string("[T.cpp:1]t>") + word) != std::string::npos) passing += std::string(word) + " ";
    }
    return passing;
  }

  int savedMask = 0;
  std::shared_ptr<TPLogger> logger = TPLogger::make("com.example.oslog");
};

TEST_F(OSLoggerAppenderTest, LevelsMapToDebugInfoAndErrorTypes) {
  EXPECT_EQ(levelsPassing(LOG_MASK(LOG_DEBUG)), "trace debug ");
  EXPECT_EQ(levelsPassing(LOG_MASK(LOG_INFO)), "info ");
  EXPECT_EQ(levelsPassing(LOG_MASK(LOG_ERR)), "warn error ");
  EXPECT_EQ(levelsPassing(LOG_UPTO(LOG_NOTICE)), "warn error ") << "debug and info disabled";
}

TEST_F(OSLoggerAppenderTest, EntryCarriesSubsystemCategoryAndText) {
  setlogmask(LOG_UPTO(LOG_DEBUG));
  ::testing::internal::CaptureStderr();
  logger->info("/src/Net/Socket.ext", "send(_:)", 42, "a", 1);
  const std::string output = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("[com.fluvio.Fluvio:tests] [Socket.ext:42]send(_:)>a1"), std::string::npos) << output;
}

}  // namespace
}  // namespace tracepost
