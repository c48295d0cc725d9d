#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "tests/broadcast/support/BroadcastRun.hpp"
#include "tests/peers/support/ChildProcess.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"

namespace broadcast_tests {
namespace {

using namespace std::chrono_literals;
using tarvelportalbroadcast::readBroadcastConfig;
using tarvelportalbroadcast::saveBroadcastConfig;

std::string ingestURL(const peers::NginxRTMPServer& ingest) { return "rtmp://127.0.0.1:" + std::to_string(ingest.port()) + "/live"; }

// A TCP listener that takes connections and never answers them.
class SilentListener {
 public:
  SilentListener() {
    descriptor_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(descriptor_, 4);
    ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() {
    if (accepted_ >= 0) ::close(accepted_);
    ::close(descriptor_);
  }
  std::string url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live"; }
  // Whether a client connected within `limit`.
  bool accept(std::chrono::milliseconds limit) {
    pollfd waiting{descriptor_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(limit.count())) != 1) return false;
    accepted_ = ::accept(descriptor_, nullptr, nullptr);
    return accepted_ >= 0;
  }

 private:
  int descriptor_ = -1;
  int accepted_ = -1;
  std::uint16_t port_ = 0;
};

TEST(BroadcastEndToEnd, WithoutBothValuesEndsAtOnceWithTheGermanTextAndConnectsNowhere) {
  peers::NginxRTMPServer ingest({});
  const std::string url = ingestURL(ingest);
  const std::vector<std::pair<std::string, std::string>> pairs = {{"", ""}, {url, ""}, {"", "key"}};
  for (std::size_t index = 0; index <= pairs.size(); ++index) {
    BroadcastRun run;
    // The last case stores nothing at all.
    if (index < pairs.size()) saveBroadcastConfig(pairs[index].first, pairs[index].second);
    auto service = run.start({"--seconds", "5"});
    ASSERT_EQ(service->wait(2s), 1) << index;
    EXPECT_TRUE(service->standardError().ends_with(missingCredentialsText + "\n")) << service->standardError();
  }
  EXPECT_EQ(ingest.clientConnections(), 0) << ingest.errorLog();
}

TEST(BroadcastEndToEnd, ARefusedConnectionEndsWithTheConnectionsErrorAndKeepsTheValues) {
  BroadcastRun run;
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(peers::freeLoopbackPort()) + "/live";
  saveBroadcastConfig(url, "kept-key");
  auto service = run.start({"--seconds", "10"});
  ASSERT_EQ(service->wait(5s), 1);
  EXPECT_NE(service->standardError().find("socketErrorOccurred"), std::string::npos) << service->standardError();
  const auto stored = readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->url, url);
  EXPECT_EQ(stored->key, "kept-key");
}

TEST(BroadcastEndToEnd, ARefusedPublishEndsWithTheServersCodeAndDescription) {
  BroadcastRun run;
  peers::NginxRTMPServer ingest({.record = true});
  // Someone else publishes under the key already.
  const std::string key = "held-by-another";
  peers::FFmpegTestSourcePublisher other(ingest.url(key));
  const auto recording = ingest.recordPath() / (key + ".flv");
  ASSERT_TRUE(replaykit_tests::eventually(
      [&] { return std::filesystem::exists(recording) && std::filesystem::file_size(recording) > 0; }, 15s))
      << other.output();
  saveBroadcastConfig(ingestURL(ingest), key);
  auto service = run.start({"--seconds", "10"});
  ASSERT_EQ(service->wait(10s), 1) << service->standardError();
  EXPECT_NE(service->standardError().find("RTMPStream.Error.requestFailed: NetStream.Publish.BadName: Already publishing"),
            std::string::npos)
      << service->standardError();
  EXPECT_TRUE(readBroadcastConfig()) << "a failed start keeps the values";
}

TEST(BroadcastEndToEnd, SIGTERMWhileConnectingEndsCleanlyAndClearsTheValues) {
  BroadcastRun run;
  SilentListener listener;
  saveBroadcastConfig(listener.url(), "never-published");
  auto service = run.start({});
  ASSERT_TRUE(listener.accept(5s));
  // Still connecting: the listener never answers.
  EXPECT_FALSE(service->wait(200ms));
  service->signal(SIGTERM);
  ASSERT_EQ(service->wait(3s), 0) << service->standardError();
  EXPECT_FALSE(readBroadcastConfig());
}

TEST(BroadcastEndToEnd, LosingTheIngestMidBroadcastEndsItWithAnErrorWithinTwoSeconds) {
  BroadcastRun run;
  peers::NginxRTMPServer ingest({.record = true});
  saveBroadcastConfig(ingestURL(ingest), "lost");
  auto service = run.start({});
  const auto recording = ingest.recordPath() / "lost.flv";
  ASSERT_TRUE(replaykit_tests::eventually(
      [&] { return std::filesystem::exists(recording) && std::filesystem::file_size(recording) > 100'000; }, 15s));
  ingest.kill();
  ASSERT_EQ(service->wait(2s), 1) << service->standardError();
  EXPECT_NE(service->standardError().find("socketErrorOccurred"), std::string::npos) << service->standardError();
}

}  // namespace
}  // namespace broadcast_tests
