#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <mutex>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Network/Tests/PathLoss.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "Tracepost/Sources/TextAppender.hpp"

namespace rtmpfluvio {
namespace {

using platform::blockOn;
using ::testing::ElementsAre;

// The module logger's lines.
class LineRecorder : public tracepost::TextAppender {
 public:
  std::vector<std::string> lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void write(const tracepost::TPLogger&, tracepost::TPLoggerLevel, std::string_view, std::string_view, int,
             std::string_view message) override {
    const std::lock_guard lock(mutex_);
    lines_.emplace_back(message);
  }

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Records the module logger's lines while it lives.
struct RecordedLines {
  RecordedLines() { logger().setAppender(recorder); }
  ~RecordedLines() { logger().setAppender(previous); }
  std::vector<std::string> lines() const { return recorder->lines(); }

  std::shared_ptr<LineRecorder> recorder = std::make_shared<LineRecorder>();
  std::shared_ptr<tracepost::TPLoggerAppender> previous = logger().appender();
};

// A connected socket whose path to the server goes away: it says so once
// and closes, telling why, with no network error to carry.
TEST(RTMPSocketViabilityTests, ALostPathClosesTheSocket) {
  const RecordedLines logged;
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  auto socket = RTMPSocket::make(platform::NWParameters::tcp());
  auto received = blockOn(socket->connect("127.0.0.1", acceptor.local_endpoint().port()));
  auto server = acceptor.accept();
  EXPECT_THAT(logged.lines(), ElementsAre("Connection is ready."));

  const std::string unavailable =
      platform::testing::reportHostUnreachable(server.remote_endpoint().port(), acceptor.local_endpoint().port());
  if (!unavailable.empty()) GTEST_SKIP() << unavailable;
  EXPECT_FALSE(blockOn(received.next()));
  EXPECT_FALSE(blockOn(socket->connected()));
  const auto reason = blockOn(socket->closeReason());
  ASSERT_TRUE(reason);
  EXPECT_EQ(reason->errorCase(), RTMPSocket::Error::Case::connectionNotEstablished);
  EXPECT_FALSE(reason->networkError());
  EXPECT_EQ(reason->cause(), "the path to the server was lost");
  EXPECT_THAT(logged.lines(),
              ElementsAre("Connection is ready.", "Connection viability changed to false",
                          "Closing: connectionNotEstablished: the path to the server was lost"));
}

}  // namespace
}  // namespace rtmpfluvio
