#include <gtest/gtest.h>

#include <asio/read.hpp>
#include <asio/ssl.hpp>
#include <numeric>
#include <thread>

#include "Platform/Network/TCPConnection.hpp"
#include "Platform/Network/TLSConnection.hpp"
#include "Platform/Network/Tests/ConnectionTestSupport.hpp"
#include "tests/peers/support/TestCertificateAuthority.hpp"

namespace platform {
namespace {

using namespace platform::testing;
using Progress = NWConnection::Progress;

constexpr int kPeerReceiveBuffer = 4096;
constexpr std::size_t kSent = std::size_t{4} << 20;
constexpr std::size_t kPiece = 16 * 1024;
// What the system may hold past what the peer took: the low-water mark, the
// segment being filled and a closed window's worth in flight. Without the
// mark it holds megabytes on loopback.
constexpr std::uint64_t kHeldBound = 256 * 1024;

// Sends `content` in pieces, each once the one before completed (so a TLS
// connection counts each piece written when it is); the first error, or none.
std::future<std::optional<NWError>> sendInPieces(const std::shared_ptr<NWConnection>& connection,
                                                 const Bytes& content) {
  struct Sending {
    std::shared_ptr<NWConnection> connection;
    const Bytes& content;
    std::size_t offset = 0;
    std::promise<std::optional<NWError>> done;
    void next(const std::shared_ptr<Sending>& self) {
      if (offset == content.size()) return done.set_value(std::nullopt);
      const std::size_t size = std::min(kPiece, content.size() - offset);
      OutgoingBytes piece(content.begin() + static_cast<std::ptrdiff_t>(offset),
                          content.begin() + static_cast<std::ptrdiff_t>(offset + size));
      offset += size;
      connection->send(std::move(piece), [self](std::optional<NWError> error) {
        if (error) return self->done.set_value(std::move(error));
        self->next(self);
      });
    }
  };
  auto sending = std::make_shared<Sending>(Sending{connection, content});
  auto future = sending->done.get_future();
  sending->next(sending);
  return future;
}

Progress progressOf(NWConnection& connection) {
  std::promise<Progress> progress;
  connection.progress([&](Progress value) { progress.set_value(value); });
  return await(progress.get_future());
}

// Reads `progress` until `settled` holds for it, within the patience; the
// readings in between must all satisfy `always`.
template <class Settled, class Always>
Progress readUntil(NWConnection& connection, Settled settled, Always always) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  Progress previous = progressOf(connection);
  for (int unchanged = 0; std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const Progress now = progressOf(connection);
    always(now);
    unchanged = now == previous ? unchanged + 1 : 0;
    previous = now;
    if (settled(now, unchanged)) return now;
  }
  ADD_FAILURE() << "progress never settled: " << previous.written << " written, " << previous.acknowledged
                << " acknowledged";
  return previous;
}

class SendBacklogTests : public ::testing::TestWithParam<bool> {
 protected:
  SendBacklogTests() : acceptor_(io_) {
    acceptor_.open(asio::ip::tcp::v4());
    // Before listening, so the accepted socket's window starts small.
    acceptor_.set_option(asio::socket_base::receive_buffer_size(kPeerReceiveBuffer));
    acceptor_.bind(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    acceptor_.listen();
    server_.use_certificate_chain_file(certificate_.certificate.string());
    server_.use_private_key_file(certificate_.key.string(), asio::ssl::context::pem);
  }

  bool isTLS() const { return GetParam(); }

  // A ready connection, and the peer's end, which reads nothing until asked.
  std::shared_ptr<NWConnection> open() {
    const std::uint16_t port = acceptor_.local_endpoint().port();
    auto tcp = TCPConnection::make("localhost", port, DispatchQoS::standard);
    auto connection = isTLS() ? std::shared_ptr<NWConnection>(TLSConnection::make("localhost", tcp)) : tcp;
    ConnectionEvents events(*connection);
    connection->start();
    peer_.emplace(acceptor_.accept(), server_);
    if (isTLS()) peer_->handshake(asio::ssl::stream_base::server);
    events.waitFor(State::ready);
    return connection;
  }

  Bytes readAll(std::size_t size) {
    Bytes arrived(size);
    if (isTLS()) {
      asio::read(*peer_, asio::buffer(arrived));
    } else {
      asio::read(peer_->next_layer(), asio::buffer(arrived));
    }
    return arrived;
  }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  peers::TestCertificateAuthority authority_;
  peers::TrustedCertificateFile trusted_{authority_.certificateFile()};
  peers::NginxRTMPServer::TLSCertificate certificate_ = authority_.issue("localhost", "localhost");
  asio::ssl::context server_{asio::ssl::context::tls_server};
  std::optional<asio::ssl::stream<asio::ip::tcp::socket>> peer_;
};

// A peer that stops reading: the system takes only a little of what is sent,
// the rest stays pending, and what it holds beyond the peer's window is bounded;
// progress counts as acknowledged only what the peer took. Once the peer
// reads it all, the send completes and every byte counts as acknowledged, in
// the connection's own bytes (for TLS not the records' larger count).
TEST_P(SendBacklogTests, APeerThatStopsReadingHoldsTheSendAndTheAcknowledgedCount) {
  const auto connection = open();
  Bytes content(kSent);
  std::iota(content.begin(), content.end(), std::uint8_t{3});
  auto sent = sendInPieces(connection, content);

  const auto held = readUntil(
      *connection, [](const Progress&, int unchanged) { return unchanged >= 25; },
      [](const Progress& now) {
        ASSERT_LE(now.acknowledged, now.written);
        ASSERT_LE(now.written - now.acknowledged, kHeldBound);
      });
  EXPECT_LT(held.written, kSent / 4) << "the system took most of the send from a peer that reads nothing";
  EXPECT_LT(held.acknowledged, held.written) << "written bytes the peer never took counted as acknowledged";
  EXPECT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

  EXPECT_EQ(readAll(kSent), content);
  EXPECT_FALSE(await(std::move(sent)));
  const auto done = readUntil(
      *connection, [](const Progress& now, int) { return now.acknowledged == kSent; },
      [](const Progress& now) { ASSERT_LE(now.acknowledged, kSent); });
  EXPECT_EQ(done.written, kSent);
}

INSTANTIATE_TEST_SUITE_P(Transports, SendBacklogTests, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TLS" : "TCP"; });

}  // namespace
}  // namespace platform
