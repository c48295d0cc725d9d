#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSession.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using fluvio::SessionReadyState;
using platform::blockOn;

// A loopback URL nothing listens on: every connect is refused at once.
std::string refusingURL() {
  asio::io_context context;
  asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
  return "rtmp://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/live/key";
}

struct Attempt {
  std::chrono::steady_clock::duration took;
  bool failedWithSocketError = false;
};

std::future<Attempt> connectLater(const std::shared_ptr<RTMPSession>& session) {
  return std::async(std::launch::async, [session] {
    const auto start = std::chrono::steady_clock::now();
    Attempt attempt;
    try {
      blockOn(session->connect([] {}));
    } catch (const RTMPConnection::Error& error) {
      attempt.failedWithSocketError = error.errorCase() == RTMPConnection::Error::Case::socketErrorOccurred;
    }
    attempt.took = std::chrono::steady_clock::now() - start;
    return attempt;
  });
}

// The next `count` states the session reports.
std::vector<SessionReadyState> nextStates(platform::AsyncStream<SessionReadyState>& states, int count) {
  std::vector<SessionReadyState> result;
  for (int index = 0; index < count; ++index) {
    if (const auto state = blockOn(states.next())) result.push_back(*state);
  }
  return result;
}

// One pause of a second between the failed attempt and its retry; a close in
// that pause stops the retries at once and leaves the session closed.
TEST(RTMPSessionTests, RetriesAfterAPauseUntilClosed) {
  const auto url = *platform::URL::make(refusingURL());

  auto patient = RTMPSession::make(url, fluvio::SessionMode::publish);
  auto patientStates = blockOn(patient->readyState());
  blockOn(patient->setMaxRetryCount(1));
  const auto retried = connectLater(patient).get();
  EXPECT_TRUE(retried.failedWithSocketError);
  EXPECT_GE(retried.took, 1s);
  EXPECT_LT(retried.took, 2s);
  EXPECT_EQ(nextStates(patientStates, 3), (std::vector<SessionReadyState>{
                                              SessionReadyState::closed, SessionReadyState::connecting,
                                              SessionReadyState::closed}));

  auto stopped = RTMPSession::make(url, fluvio::SessionMode::publish);
  auto states = blockOn(stopped->readyState());
  auto pending = connectLater(stopped);
  // Aims the close at the one-second pause after the refusal, which the
  // session does not announce. A close that lands before the pause ends the
  // connect the same way, so the window can only miss the pause, never fail.
  std::this_thread::sleep_for(300ms);
  blockOn(stopped->close());
  EXPECT_EQ(pending.wait_for(500ms), std::future_status::ready) << "the retries went on";
  const auto attempt = pending.get();
  EXPECT_TRUE(attempt.failedWithSocketError);
  EXPECT_LT(attempt.took, 1s);
  EXPECT_EQ(nextStates(states, 4),
            (std::vector<SessionReadyState>{SessionReadyState::closed, SessionReadyState::connecting,
                                            SessionReadyState::closing, SessionReadyState::closed}));
}

// A connect while another is still waiting for the server's answer fails at
// once with invalidState and leaves the first to publish undisturbed.
TEST(RTMPSessionTests, ASecondConnectWhileConnectingFailsAtOnce) {
  testing::ScriptedRTMPServer server;
  auto session = RTMPSession::make(*platform::URL::make(server.url("/live/key")), fluvio::SessionMode::publish);
  auto states = blockOn(session->readyState());
  auto first = std::async(std::launch::async, [session] { blockOn(session->connect([] {})); });
  server.accept();
  EXPECT_EQ(nextStates(states, 2),
            (std::vector<SessionReadyState>{SessionReadyState::closed, SessionReadyState::connecting}));

  const auto start = std::chrono::steady_clock::now();
  try {
    blockOn(session->connect([] {}));
    ADD_FAILURE() << "a second connect went ahead";
  } catch (const RTMPConnection::Error& error) {
    EXPECT_EQ(error.errorCase(), RTMPConnection::Error::Case::invalidState);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "it waited for a retry";

  auto serving = std::async(std::launch::async, [&server] { server.servePublisher([](const auto&) {}); });
  first.get();
  EXPECT_EQ(nextStates(states, 1), std::vector<SessionReadyState>{SessionReadyState::open});
  EXPECT_EQ(blockOn(blockOn(session->stream())->readyState()), fluvio::StreamReadyState::publishing);
  // Once open, a connect returns at once again.
  blockOn(session->connect([] {}));
  blockOn(session->close());
  serving.get();
}

}  // namespace
}  // namespace rtmpfluvio
