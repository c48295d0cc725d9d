#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <chrono>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "RTMPFluvio/Tests/RTMP/TestRTMPStream.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"
#include "tests/peers/support/TestCertificateAuthority.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using ::testing::HasSubstr;
using testing::TestRTMPStream;

bool hasStatus(const TestRTMPStream& stream, const std::string& code) {
  for (const auto& message : stream.messages()) {
    const auto* command = std::get_if<RTMPCommandMessage>(&message);
    if (!command || command->arguments().empty()) continue;
    const auto status = RTMPStatus::make(command->arguments().front().as<AMFObject>());
    if (status && status->code() == code) return true;
  }
  return false;
}

std::string connectedCode(const std::shared_ptr<RTMPConnection>& connection, const std::string& url) {
  const auto response = blockOn(connection->connect(url));
  return response.status() ? response.status()->code() : "<no status>";
}

// nginx takes the handshake, connect, createStream and a publish, and keeps
// a publishing client that answers its pings, across its acknowledgements.
TEST(RTMPConnectionPeerTests, NginxAcceptsAPublicationAndKeepsItAlive) {
  peers::NginxRTMPServer::Options options;
  options.ackWindow = 5000;
  peers::NginxRTMPServer nginx(options);
  auto connection = RTMPConnection::make();
  auto stream = std::make_shared<TestRTMPStream>(connection);
  blockOn(connection->addStream(stream));
  auto statuses = blockOn(connection->status());
  EXPECT_EQ(connectedCode(connection, "rtmp://127.0.0.1:" + std::to_string(nginx.port()) + "/live"),
            "NetConnection.Connect.Success");
  ASSERT_NE(stream->messageStreamId(), 0u) << "createStream after connect";

  blockOn(connection->doOutput(RTMPChunkType::zero, RTMPChunkStreamId::command,
                               RTMPCommandMessage(stream->messageStreamId(), 0, RTMPObjectEncoding::amf0, "publish", 0,
                                                  std::nullopt, {AMFValue("key"), AMFValue("live")})));
  ASSERT_TRUE(stream->waitUntil([&] { return hasStatus(*stream, "NetStream.Publish.Start"); })) << nginx.errorLog();

  // Three and a half seconds of 2 KiB video messages: three pings, a dozen
  // acknowledgements. nginx pings on its own clock, so the sleep sets the
  // pace of the publication; it waits for no event.
  for (std::uint32_t index = 0; index < 35; ++index) {
    std::vector<std::uint8_t> payload(2048, static_cast<std::uint8_t>(index));
    payload[0] = 0x22;  // an inter frame of a codec nginx only relays
    blockOn(connection->doOutput(index == 0 ? RTMPChunkType::zero : RTMPChunkType::one, RTMPChunkStreamId::video,
                                 RTMPVideoMessage(stream->messageStreamId(), index == 0 ? 0 : 100, payload)));
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(blockOn(connection->connected())) << nginx.errorLog();
  EXPECT_EQ(nginx.errorLog().find("ping timeout"), std::string::npos);
  blockOn(connection->close());
  std::vector<std::string> codes;
  while (const auto status = blockOn(statuses.next())) {
    codes.push_back(status->code());
    if (codes.back() == "NetConnection.Connect.Closed") break;
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"NetConnection.Connect.Success", "NetConnection.Connect.Closed"}));
}

// ffmpeg as a server checks that C2 echoes its S1 before it takes the connect.
TEST(RTMPConnectionPeerTests, FFmpegListenerAcceptsHandshakeAndConnect) {
  peers::FFmpegRTMPListener listener;
  auto connection = RTMPConnection::make();
  EXPECT_EQ(connectedCode(connection, "rtmp://127.0.0.1:" + std::to_string(listener.port()) + "/app"),
            "NetConnection.Connect.Success")
      << listener.output();
  blockOn(connection->close());
}

// TLS through a terminator in front of nginx, trusting a CA made here.
TEST(RTMPConnectionPeerTests, TLSVerifiesTheCertificateChainHostNameAndDates) {
  peers::TestCertificateAuthority authority;
  peers::TestCertificateAuthority stranger;
  peers::NginxRTMPServer::Options options;
  options.tls = {authority.issue("valid", "localhost"), authority.issue("expired", "localhost", -48h, -24h)};
  peers::NginxRTMPServer nginx(options);
  // Trusted alone, it leaves the server's CA unknown; the stranger CA bears
  // the same name as ours, so its signature is what fails.
  const auto unrelated = stranger.issue("unrelated", "unrelated.example");

  struct Case {
    const char* name;
    std::filesystem::path trusted;
    std::string host;
    std::uint16_t port;
    // The reason the error names; X509_V_OK for a connection that succeeds.
    long verifyResult;
  };
  const Case cases[] = {
      {"right CA and host name", authority.certificateFile(), "localhost", nginx.tlsPort(0), X509_V_OK},
      {"wrong host name", authority.certificateFile(), "127.0.0.1", nginx.tlsPort(0), X509_V_ERR_IP_ADDRESS_MISMATCH},
      {"untrusted CA", stranger.certificateFile(), "localhost", nginx.tlsPort(0), X509_V_ERR_CERT_SIGNATURE_FAILURE},
      {"unknown CA", unrelated.certificate, "localhost", nginx.tlsPort(0), X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
      {"expired certificate", authority.certificateFile(), "localhost", nginx.tlsPort(1), X509_V_ERR_CERT_HAS_EXPIRED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const peers::TrustedCertificateFile trusted(c.trusted);
    auto connection = RTMPConnection::make();
    const std::string url = "rtmps://" + c.host + ":" + std::to_string(c.port) + "/live";
    if (c.verifyResult == X509_V_OK) {
      EXPECT_EQ(connectedCode(connection, url), "NetConnection.Connect.Success");
      blockOn(connection->close());
      continue;
    }
    try {
      blockOn(connection->connect(url));
      ADD_FAILURE() << "connected";
    } catch (const RTMPConnection::Error& error) {
      EXPECT_EQ(error.errorCase(), RTMPConnection::Error::Case::socketErrorOccurred) << error.what();
      EXPECT_TRUE(error.networkError()) << "the TLS layer's reason comes with it";
      EXPECT_THAT(error.what(), HasSubstr(X509_verify_cert_error_string(c.verifyResult)));
    }
  }
}

}  // namespace
}  // namespace rtmpfluvio
