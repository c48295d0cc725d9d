#include "Tracepost/Sources/SocketAppender.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "Tracepost/Sources/TPLoggerData.hpp"
#include "Tracepost/Tests/Support/LoopbackPeer.hpp"
#include "Tracepost/Tests/Support/RecordingAppender.hpp"

namespace tracepost {
namespace {

using testing::eventually;
using testing::FixedClock;
using testing::LoopbackPeer;

class SocketAppenderTest : public ::testing::Test {
 protected:
  // Connects and sends ready lines until one arrives, so that later lines
  // are not dropped for being early.
  void connect() {
    appender->connect("127.0.0.1", peer.port());
    ASSERT_TRUE(eventually([&] {
      logger->info("ready", "ready", 0);
      return peer.waitFor([](const auto& received) { return !received.empty() && !received[0].empty(); },
                          std::chrono::milliseconds(20));
    }));
  }

  // Whether `text` arrives right after the ready lines.
  bool arrived(const std::string& text) {
    return peer.waitFor([&](const auto& received) {
      return received.size() == 1 && received[0].ends_with("\r\n\r\n" + text);
    });
  }

  FixedClock clock;
  LoopbackPeer peer;
  std::shared_ptr<SocketAppender> appender = SocketAppender::make();
  std::shared_ptr<TPLogger> logger = [this] {
    auto made = TPLogger::make("com.fluvio.RTMPFluvio");
    made->setAppender(appender);
    return made;
  }();
};

TEST_F(SocketAppenderTest, SendsTheLineByteForByteAndItReadsBack) {
  connect();
  logger->info("/src/Net/Socket.ext", "send(_:)", 42, "a\tb");
  const std::string line =
      "2024-17-03 14:07:09.042\tInfo\tcom.fluvio.RTMPFluvio\t/src/Net/Socket.ext\t42\tsend(_:)\ta\tb\r\n\r\n";
  ASSERT_TRUE(arrived(line));

  const std::string withoutTerminator = line.substr(0, line.size() - 4);
  const auto data = TPLogger::Data::from({reinterpret_cast<const std::uint8_t*>(withoutTerminator.data()),
                                          withoutTerminator.size()});
  ASSERT_TRUE(data);
  EXPECT_EQ(data->date, testing::fixedNow());
  EXPECT_EQ(data->message, "a\tb");
  EXPECT_EQ(data->file, "/src/Net/Socket.ext");
}

TEST_F(SocketAppenderTest, WrittenLinesAlwaysReadBackWhole) {
  connect();
  const auto tabbed = TPLogger::make("com.fluvio\tTabbed");
  tabbed->setAppender(appender);
  tabbed->error("/src/a\tb.ext", "f\tg", 1);
  logger->warn("f", "g", 2, TPLogger::Format{"%s"}, "x\t\ty");
  ASSERT_TRUE(arrived(
      "2024-17-03 14:07:09.042\tError\tcom.fluvio Tabbed\t/src/a b.ext\t1\tf g\t\r\n\r\n"
      "2024-17-03 14:07:09.042\tWarn\tcom.fluvio.RTMPFluvio\tf\t2\tg\tx\t\ty\r\n\r\n"));
  const std::string first = "2024-17-03 14:07:09.042\tError\tcom.fluvio Tabbed\t/src/a b.ext\t1\tf g\t";
  const auto data = TPLogger::Data::from({reinterpret_cast<const std::uint8_t*>(first.data()), first.size()});
  ASSERT_TRUE(data);
  EXPECT_EQ(data->function, "f g");
  EXPECT_EQ(data->message, "");
}

// Splits a received stream at the terminator, as a receiving tool does.
std::vector<TPLogger::Data> records(std::string_view stream) {
  std::vector<TPLogger::Data> read;
  for (std::size_t end; (end = stream.find("\r\n\r\n")) != std::string_view::npos; stream.remove_prefix(end + 4)) {
    const auto data = TPLogger::Data::from({reinterpret_cast<const std::uint8_t*>(stream.data()), end});
    if (data) read.push_back(*data);
  }
  EXPECT_EQ(stream, "") << "bytes after the last terminator";
  return read;
}

TEST_F(SocketAppenderTest, LineBreaksInsideALineNeverSplitTheRecord) {
  struct Case {
    std::string message;
    std::string readBack;
  };
  const Case cases[] = {
      {"a\r\n\r\nb", "a\n\r\nb"},  // the terminator itself
      {"ends\r\n", "ends\n"},  // runs into the terminator
      {"\r\n\r\n\r\n", "\n\r\n\n"},
      {"x\r\r\n\r", "x\n\r"},  // a dropped CR must not make a new pair
      {"one\r\ntwo\rthree\n", "one\r\ntwo\rthree\n"},  // single breaks stay as they are
  };
  connect();
  for (const Case& each : cases) logger->info("/src/f.ext", "f\r\n\r\ng", 3, each.message);
  logger->info("f", "g", 4, "end");
  ASSERT_TRUE(peer.waitFor([](const auto& received) { return received[0].ends_with("\tend\r\n\r\n"); }));

  auto read = records(peer.received()[0]);
  // connect() sends ready lines until one arrives: on a busy machine more
  // than one goes out.
  read.erase(read.begin(), std::find_if(read.begin(), read.end(), [](const auto& record) {
               return record.function != "ready";
             }));
  ASSERT_EQ(read.size(), std::size(cases) + 1) << "one record per line, the end";
  for (std::size_t index = 0; index < std::size(cases); ++index) {
    const auto& record = read[index];
    EXPECT_EQ(record.message, cases[index].readBack) << index;
    EXPECT_EQ(record.function, "f\n\r\ng");
    EXPECT_EQ(record.line, 3);
    EXPECT_EQ(record.date, testing::fixedNow());
  }
}

TEST_F(SocketAppenderTest, DropsLinesThatAreNotUTF8) {
  connect();
  logger->info("f", "g", 1, "\xFF");
  logger->info("f", "g", 2, "ok");
  EXPECT_TRUE(arrived("2024-17-03 14:07:09.042\tInfo\tcom.fluvio.RTMPFluvio\tf\t2\tg\tok\r\n\r\n"));
}

TEST(SocketAppender, AppendingBeforeConnectSendsNothingAndRaisesNothing) {
  const auto appender = SocketAppender::make();
  const auto logger = TPLogger::make("com.example.unconnected");
  logger->setAppender(appender);
  EXPECT_NO_THROW(TP_ERROR(*logger, "nowhere"));
  appender->close();
}

}  // namespace
}  // namespace tracepost
