#include <gtest/gtest.h>

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/ssl.hpp>
#include <future>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "tests/peers/support/TestCertificateAuthority.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;

// A loopback TLS server for one client: it completes the handshake, reads
// nothing until told to, then reads to the end and tells how the stream ended.
class TLSCountingServer {
 public:
  struct Outcome {
    std::size_t bytes = 0;
    std::error_code end;
  };

  explicit TLSCountingServer(const peers::NginxRTMPServer::TLSCertificate& certificate)
      : context_(asio::ssl::context::tls_server),
        acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    context_.use_certificate_chain_file(certificate.certificate.string());
    context_.use_private_key_file(certificate.key.string(), asio::ssl::context::pem);
    // A small window keeps the client's backlog in its socket, not in ours.
    acceptor_.set_option(asio::socket_base::receive_buffer_size(16 * 1024));
    outcome_ = std::async(std::launch::async, [this] { return serve(); });
  }

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  void startReading() { start_.set_value(); }
  Outcome outcome() { return outcome_.get(); }

 private:
  Outcome serve() {
    asio::ssl::stream<asio::ip::tcp::socket> stream(io_, context_);
    acceptor_.accept(stream.next_layer());
    stream.handshake(asio::ssl::stream_base::server);
    start_.get_future().wait();
    Outcome outcome;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
      std::error_code error;
      outcome.bytes += stream.read_some(asio::buffer(buffer), error);
      if (error) {
        outcome.end = error;
        return outcome;
      }
    }
  }

  asio::io_context io_;
  asio::ssl::context context_;
  asio::ip::tcp::acceptor acceptor_;
  std::promise<void> start_;
  std::future<Outcome> outcome_;
};

struct TLSLink {
  TLSLink() : trusted(authority.certificateFile()), server(authority.issue("server", "localhost")) {}

  // Connects and queues `total` bytes in 64 KiB pieces while the server reads nothing.
  std::shared_ptr<RTMPSocket> connectAndQueue(std::size_t total) {
    auto socket = RTMPSocket::make(platform::NWParameters::tls());
    received.emplace(blockOn(socket->connect("localhost", server.port())));
    for (std::size_t sent = 0; sent < total; sent += kPiece) socket->send(platform::OutgoingBytes(kPiece, 0x5A));
    return socket;
  }

  static constexpr std::size_t kPiece = 64 * 1024;
  peers::TestCertificateAuthority authority;
  peers::TrustedCertificateFile trusted;
  TLSCountingServer server;
  std::optional<platform::AsyncStream<RTMPSocket::Bytes>> received;
};

// A shutdown with a backlog writes all of it, then ends TLS with its close
// alert, so the server reads every byte and a clean end. A plain close
// does neither: the control that shows the server can tell the difference.
TEST(RTMPSocketPeerTests, ShutdownWritesTheBacklogAndEndsTLSWithItsCloseAlert) {
  constexpr std::size_t kTotal = 8 * 1024 * 1024;
  {
    TLSLink link;
    auto socket = link.connectAndQueue(kTotal);
    const auto report = blockOn(socket->makeNetworkTransportReport());
    ASSERT_GT(report.queueBytesOut, 0) << "a backlog waits when the shutdown begins";
    auto shutdown = std::async(std::launch::async, [&] { blockOn(socket->shutdown()); });
    link.server.startReading();
    const auto outcome = link.server.outcome();
    shutdown.get();
    EXPECT_EQ(outcome.bytes, kTotal);
    EXPECT_EQ(outcome.end, asio::error::eof) << outcome.end.message() << ": the close alert came first";
    EXPECT_FALSE(blockOn(socket->connected()));
    const auto after = blockOn(socket->makeNetworkTransportReport());
    EXPECT_EQ(after.totalBytesOut, static_cast<std::int64_t>(kTotal));
    EXPECT_EQ(after.queueBytesOut, 0);
  }
  {
    TLSLink link;
    auto socket = link.connectAndQueue(kTotal);
    socket->close();
    link.server.startReading();
    const auto outcome = link.server.outcome();
    EXPECT_LT(outcome.bytes, kTotal);
    EXPECT_NE(outcome.end, asio::error::eof) << "no close alert";
  }
}

}  // namespace
}  // namespace rtmpfluvio
