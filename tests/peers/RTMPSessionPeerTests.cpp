#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSessionFactory.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"
#include "tests/peers/support/TestCertificateAuthority.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using fluvio::SessionMode;
using fluvio::SessionReadyState;
using platform::blockOn;

std::shared_ptr<fluvio::Session> publishingSession(const std::string& url) {
  return RTMPSessionFactory().make(*platform::URL::make(url), SessionMode::publish, nullptr);
}

std::vector<SessionReadyState> nextStates(platform::AsyncStream<SessionReadyState>& states, int count) {
  std::vector<SessionReadyState> result;
  for (int index = 0; index < count; ++index) {
    if (const auto state = blockOn(states.next())) result.push_back(*state);
  }
  return result;
}

fluvio::StreamReadyState streamState(const std::shared_ptr<fluvio::Session>& session) {
  return blockOn(blockOn(session->stream())->readyState());
}

// Over plain RTMP and over TLS: the session connects to the application,
// publishes the URL's last component, and a second session publishing the
// same name keeps the server's refusal as its error and ends closed.
TEST(RTMPSessionPeerTests, PublishesThroughTheFactoryOverRTMPAndRTMPS) {
  peers::TestCertificateAuthority authority;
  peers::NginxRTMPServer::Options options;
  options.tls = {authority.issue("valid", "localhost")};
  peers::NginxRTMPServer nginx(options);
  const peers::TrustedCertificateFile trusted(authority.certificateFile());

  const std::string urls[] = {
      "rtmp://127.0.0.1:" + std::to_string(nginx.port()) + "/live/key",
      "rtmps://localhost:" + std::to_string(nginx.tlsPort()) + "/live/key",
  };
  for (const auto& url : urls) {
    SCOPED_TRACE(url);
    auto session = publishingSession(url);
    auto states = blockOn(session->readyState());
    blockOn(session->connect([] {}));
    EXPECT_EQ(streamState(session), fluvio::StreamReadyState::publishing);

    auto rival = publishingSession(url);
    auto rivalStates = blockOn(rival->readyState());
    try {
      blockOn(rival->connect([] {}));
      ADD_FAILURE() << "the same name was published twice";
    } catch (const RTMPStream::Error& error) {
      ASSERT_TRUE(error.response() && error.response()->status());
      EXPECT_EQ(error.response()->status()->code(), "NetStream.Publish.BadName");
    }
    EXPECT_EQ(nextStates(rivalStates, 3), (std::vector<SessionReadyState>{SessionReadyState::closed,
                                                                          SessionReadyState::connecting,
                                                                          SessionReadyState::closed}));
    EXPECT_FALSE(blockOn(rival->connected()));

    blockOn(session->close());
    EXPECT_EQ(nextStates(states, 5),
              (std::vector<SessionReadyState>{SessionReadyState::closed, SessionReadyState::connecting,
                                              SessionReadyState::open, SessionReadyState::closing,
                                              SessionReadyState::closed}));
  }
}

TEST(RTMPSessionPeerTests, ASessionThatLosesItsServerReportsClosedOnce) {
  std::optional<peers::NginxRTMPServer> nginx(std::in_place, peers::NginxRTMPServer::Options{});
  auto session = publishingSession("rtmp://127.0.0.1:" + std::to_string(nginx->port()) + "/live/key");
  auto states = blockOn(session->readyState());
  platform::testing::WatchedCount disconnects;
  blockOn(session->connect([&] { disconnects.add(); }));
  EXPECT_EQ(nextStates(states, 3), (std::vector<SessionReadyState>{SessionReadyState::closed,
                                                                   SessionReadyState::connecting,
                                                                   SessionReadyState::open}));
  EXPECT_EQ(disconnects.load(), 0);

  nginx.reset();
  EXPECT_EQ(nextStates(states, 1), std::vector<SessionReadyState>{SessionReadyState::closed});
  ASSERT_TRUE(disconnects.reaches(1));
  // A real window: a second report has no event of its own to wait for.
  EXPECT_FALSE(disconnects.reaches(2, 500ms)) << "the loss was reported twice";
  // Nothing left to close: the state stays as it is.
  blockOn(session->close());
  EXPECT_EQ(disconnects.load(), 1);
  EXPECT_FALSE(blockOn(session->connected()));
}

}  // namespace
}  // namespace rtmpfluvio
