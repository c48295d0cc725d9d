#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <asio/read.hpp>
#include <asio/ssl.hpp>
#include <asio/write.hpp>
#include <openssl/x509.h>

#include "Platform/Network/TCPConnection.hpp"
#include "Platform/Network/TLSConnection.hpp"
#include "Platform/Network/Tests/ConnectionTestSupport.hpp"
#include "Platform/Network/Tests/PathLoss.hpp"
#include "tests/peers/support/TestCertificateAuthority.hpp"

namespace platform {
namespace {

using namespace platform::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Certificate = peers::NginxRTMPServer::TLSCertificate;

std::shared_ptr<NWConnection> connectTo(const std::string& host, std::uint16_t port) {
  return TLSConnection::make(host, TCPConnection::make(host, port, DispatchQoS::standard));
}

// A TLS server on a free loopback port, driven step by step from the test.
class TLSLoopbackServer {
 public:
  enum class Protocols { current, upToTLS11 };

  explicit TLSLoopbackServer(const Certificate& certificate, Protocols protocols = Protocols::current)
      : context_(asio::ssl::context::tls_server) {
    context_.use_certificate_chain_file(certificate.certificate.string());
    context_.use_private_key_file(certificate.key.string(), asio::ssl::context::pem);
    if (protocols == Protocols::upToTLS11) {
      // An RSA key exchange signs nothing with the old digests a client
      // refuses anyway: only the version is left to refuse.
      SSL_CTX_set_max_proto_version(context_.native_handle(), TLS1_1_VERSION);
      SSL_CTX_set_cipher_list(context_.native_handle(), "AES128-SHA:@SECLEVEL=0");
    }
  }

  std::uint16_t port() const { return acceptor_.port(); }
  // Takes the client's connection; its handshake's error, if any.
  std::error_code acceptAndHandshake() {
    accept();
    std::error_code error;
    stream_->handshake(asio::ssl::stream_base::server, error);
    return error;
  }
  void accept() { stream_.emplace(acceptor_.accept(), context_); }
  asio::ssl::stream<asio::ip::tcp::socket>& stream() { return *stream_; }
  // Reads until the client's stream ends; how it ended.
  std::error_code readToEnd(Bytes& into) {
    std::uint8_t buffer[4096];
    for (;;) {
      std::error_code error;
      const std::size_t count = stream_->read_some(asio::buffer(buffer), error);
      into.insert(into.end(), buffer, buffer + count);
      if (error) return error;
    }
  }
  // Reads the connection under TLS until the client's end of it ends.
  std::error_code readTransportToEnd() {
    std::uint8_t buffer[4096];
    std::error_code end;
    while (!end) stream_->next_layer().read_some(asio::buffer(buffer), end);
    return end;
  }

 private:
  LoopbackAcceptor acceptor_;
  asio::ssl::context context_;
  std::optional<asio::ssl::stream<asio::ip::tcp::socket>> stream_;
};

class TLSConnectionTests : public ::testing::Test {
 protected:
  struct Link {
    std::shared_ptr<NWConnection> connection;
    ConnectionEvents events;
  };
  // A connection to `server` that is ready.
  Link open() {
    auto connection = connectTo("localhost", server.port());
    ConnectionEvents events(*connection);
    connection->start();
    EXPECT_FALSE(server.acceptAndHandshake());
    events.waitFor(State::ready);
    return Link{connection, events};
  }

  peers::TestCertificateAuthority authority;
  peers::TrustedCertificateFile trusted{authority.certificateFile()};
  TLSLoopbackServer server{authority.issue("localhost", "localhost")};
};

// Small and large pieces (many records) both ways; the server's close alert
// is an end of stream, a stream cut without one is an error.
TEST_F(TLSConnectionTests, CarriesBytesBothWaysAndTellsACleanEndFromACut) {
  for (const bool cleanEnd : {true, false}) {
    SCOPED_TRACE(cleanEnd ? "close alert" : "cut");
    auto [connection, events] = open();

    for (const std::size_t size : {std::size_t{5}, std::size_t{1} << 20}) {
      const Bytes content(size, static_cast<std::uint8_t>(size));
      auto sent = send(*connection, content);
      Bytes arrived(size);
      asio::read(server.stream(), asio::buffer(arrived));
      EXPECT_FALSE(await(std::move(sent)));
      EXPECT_EQ(arrived, content);

      const Bytes reply(size + 1, static_cast<std::uint8_t>(size + 1));
      auto written = std::async(std::launch::async, [&] { return asio::write(server.stream(), asio::buffer(reply)); });
      const Received received = receiveExactly(*connection, reply.size());
      EXPECT_EQ(await(std::move(written)), reply.size());
      EXPECT_FALSE(received.error);
      EXPECT_EQ(received.data, reply);
    }

    if (cleanEnd) {
      // Sends the close alert without waiting for the client's.
      SSL_set_shutdown(server.stream().native_handle(), SSL_RECEIVED_SHUTDOWN);
      server.stream().shutdown();
    }
    server.stream().next_layer().close();
    const Received end = await(receive(*connection));
    EXPECT_TRUE(end.data.empty());
    EXPECT_EQ(end.error.has_value(), !cleanEnd);
    EXPECT_EQ(events.states(), (std::vector{State::preparing, State::ready}));
    connection->forceCancel();
  }
}

// The peer's certificate chain, name and dates are checked, and so is the
// protocol version it speaks; the error names the reason.
TEST_F(TLSConnectionTests, RefusesAPeerItCannotVerifyOrAnOldProtocolAndSaysWhy) {
  peers::TestCertificateAuthority stranger;
  TLSLoopbackServer expired(authority.issue("expired", "localhost", -48h, -24h));
  TLSLoopbackServer legacy(authority.issueRSA("legacy", "localhost"), TLSLoopbackServer::Protocols::upToTLS11);
  struct Case {
    const char* name;
    std::filesystem::path trusted;
    std::string host;
    TLSLoopbackServer& server;
    std::string reason;
  };
  const Case cases[] = {
      {"unknown CA", stranger.certificateFile(), "localhost", server,
       X509_verify_cert_error_string(X509_V_ERR_CERT_SIGNATURE_FAILURE)},
      {"host name mismatch", authority.certificateFile(), "127.0.0.1", server,
       X509_verify_cert_error_string(X509_V_ERR_IP_ADDRESS_MISMATCH)},
      {"expired", authority.certificateFile(), "localhost", expired,
       X509_verify_cert_error_string(X509_V_ERR_CERT_HAS_EXPIRED)},
      {"TLS 1.1 at most", authority.certificateFile(), "localhost", legacy, "protocol version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const peers::TrustedCertificateFile trustedHere(c.trusted);
    auto connection = connectTo(c.host, c.server.port());
    ConnectionEvents events(*connection);
    connection->start();
    EXPECT_TRUE(c.server.acceptAndHandshake());
    const auto error = events.waitFor(State::failed);
    ASSERT_TRUE(error);
    EXPECT_THAT(error->what(), HasSubstr(c.reason));
    EXPECT_EQ(events.states(), (std::vector{State::preparing, State::failed}));
  }
}

TEST_F(TLSConnectionTests, TheTransportsFailureComesThroughAsItsOwn) {
  expectRefused(*connectTo("localhost", unusedLoopbackPort()));
}

// After what was sent has gone, a cancel ends TLS with its close alert and
// the server reads everything and a clean end; a forced cancel cuts the
// stream, which the server tells apart. The client does not wait for the
// server's alert: a server that answers none and stays open sees the end of
// the stream long before the grace runs out, whether or not a receive was
// pending.
TEST_F(TLSConnectionTests, CancelAfterTheDataEndsTLSWithItsCloseAlert) {
  const struct {
    const char* name;
    bool graceful;
    bool receiving;
  } cases[] = {{"cancel", true, true}, {"cancel, no receive pending", true, false}, {"force cancel", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto [connection, events] = open();
    const Bytes content(300 * 1024, 0x5A);
    // A send completes only as the server takes it: the connection holds
    // little unsent.
    Bytes arrived;
    auto readAll = std::async(std::launch::async, [&] { return server.readToEnd(arrived); });
    EXPECT_FALSE(await(send(*connection, content)));
    std::optional<std::future<Received>> pending;
    if (c.receiving) pending = receive(*connection);

    if (c.graceful) {
      connection->cancel(30 * kPatience);
      connection->cancel();
      if (pending) {
        const Received aborted = await(std::move(*pending));
        ASSERT_TRUE(aborted.error);
        EXPECT_EQ(aborted.error->code(), asio::error::operation_aborted);
      }
    } else {
      connection->forceCancel();
    }
    const std::error_code end = await(std::move(readAll));
    EXPECT_EQ(arrived.size(), content.size());
    EXPECT_EQ(end == asio::error::eof, c.graceful) << end.message();
    if (c.graceful) {
      auto transportEnd = std::async(std::launch::async, [&] { return server.readTransportToEnd(); });
      const bool ended = transportEnd.wait_for(kPatience) == std::future_status::ready;
      EXPECT_TRUE(ended) << "the cancel waits for the server's close alert";
      if (!ended) connection->forceCancel();
      EXPECT_EQ(await(std::move(transportEnd)), asio::error::eof);
      events.waitFor(State::cancelled);
    }
    server.stream().next_layer().close();
    connection->cancel();
    settle(*connection);
    const auto reported = c.graceful ? std::vector{State::preparing, State::ready, State::cancelled}
                                     : std::vector{State::preparing, State::ready};
    EXPECT_EQ(events.states(), reported);
  }
}

TEST_F(TLSConnectionTests, ALostPathUnderTheTransportMakesItNotViable) {
  auto [connection, events] = open();
  auto pending = receive(*connection);
  settle(*connection);
  EXPECT_TRUE(events.viability().empty());
  const auto& transport = server.stream().next_layer();
  const std::string unavailable = reportHostUnreachable(transport.remote_endpoint().port(), server.port());
  if (!unavailable.empty()) GTEST_SKIP() << unavailable;
  const Received failed = await(std::move(pending));
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->code(), asio::error::host_unreachable) << failed.error->what();
  EXPECT_EQ(events.viability(), std::vector{false});
  connection->forceCancel();
}

// Cancelled while the server has the client's hello and sends nothing back.
TEST_F(TLSConnectionTests, CancelDuringTheHandshakeReportsCancelledOnce) {
  auto connection = connectTo("localhost", server.port());
  ConnectionEvents events(*connection);
  connection->start();
  server.accept();
  std::uint8_t hello[5];
  asio::read(server.stream().next_layer(), asio::buffer(hello));
  connection->cancel();
  connection->cancel();
  events.waitFor(State::cancelled);
  settle(*connection);
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::cancelled}));
  EXPECT_EQ(server.readTransportToEnd(), asio::error::eof) << "the transport goes with it";
}

}  // namespace
}  // namespace platform
