#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <atomic>
#include <future>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"

namespace rtmpfluvio {
namespace {

using platform::blockOn;

// A loopback server for one client: sends it `toClient` bytes, reads
// `fromClient` bytes, then closes (or, `outlasting` the client, waits for
// the client's end first); counts what it read.
class ExchangingServer {
 public:
  ExchangingServer(std::size_t toClient, std::size_t fromClient, bool outlasting = false)
      : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    read_ = std::async(std::launch::async, [this, toClient, fromClient, outlasting] {
      asio::ip::tcp::socket client(io_);
      acceptor_.accept(client);
      asio::write(client, asio::buffer(std::vector<std::uint8_t>(toClient, 0xA5)));
      std::vector<std::uint8_t> buffer(fromClient);
      std::size_t read = asio::read(client, asio::buffer(buffer));
      if (outlasting) {
        std::error_code end;
        while (!end) read += client.read_some(asio::buffer(buffer.data(), 1), end);
      }
      client.close();
      return read;
    });
  }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  std::size_t bytesRead() { return read_.get(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::future<std::size_t> read_;
};

// Bytes out count what the socket sent, bytes in what it received, each on
// its own, as the server counts them; the end of the server's stream is
// the socket's close reason; a new connect starts the counts again.
TEST(RTMPSocketTests, CountsEachDirectionAsTheServerDoesAndTellsWhyItClosed) {
  struct Case {
    std::size_t toClient;
    std::size_t fromClient;
  };
  auto socket = RTMPSocket::make(platform::NWParameters::tcp());
  for (const Case& c : {Case{3000, 700'000}, Case{900'000, 1200}}) {
    SCOPED_TRACE(c.toClient);
    ExchangingServer server(c.toClient, c.fromClient);
    auto received = blockOn(socket->connect("127.0.0.1", server.port()));
    for (std::size_t sent = 0; sent < c.fromClient;) {
      const std::size_t piece = std::min<std::size_t>(c.fromClient - sent, 4096);
      socket->send(platform::OutgoingBytes(piece, 0x3C));
      sent += piece;
    }
    std::size_t got = 0;
    while (const auto bytes = blockOn(received.next())) got += bytes->size();
    EXPECT_EQ(got, c.toClient);
    EXPECT_EQ(server.bytesRead(), c.fromClient);

    const auto report = blockOn(socket->makeNetworkTransportReport());
    EXPECT_EQ(report.totalBytesIn, static_cast<std::int64_t>(c.toClient));
    EXPECT_EQ(report.totalBytesOut, static_cast<std::int64_t>(c.fromClient));
    EXPECT_EQ(report.queueBytesOut, 0);
    const auto reason = blockOn(socket->closeReason());
    ASSERT_TRUE(reason);
    EXPECT_EQ(reason->errorCase(), RTMPSocket::Error::Case::endOfStream);
    EXPECT_EQ(reason->cause(), "the server closed the connection");
  }
}

// Our own close is no failure: there is no reason to tell. What was queued
// is written first and told so, then told acknowledged by the time the
// shutdown returns; what comes after the close never is.
TEST(RTMPSocketTests, AClosedSocketHasNoCloseReason) {
  ExchangingServer server(0, 2, true);
  auto socket = RTMPSocket::make(platform::NWParameters::tcp());
  auto received = blockOn(socket->connect("127.0.0.1", server.port()));
  std::atomic<int> written = 0;
  std::atomic<int> acknowledged = 0;
  const auto counting = [&](int weight) {
    return [&, weight](RTMPSocket::Delivery delivery) {
      (delivery == RTMPSocket::Delivery::written ? written : acknowledged) += weight;
    };
  };
  socket->send({1}, counting(1));
  socket->send({2}, counting(10));
  blockOn(socket->shutdown());
  EXPECT_EQ(written, 11);
  EXPECT_EQ(acknowledged, 11);
  EXPECT_EQ(server.bytesRead(), 2u);
  EXPECT_FALSE(blockOn(received.next()));
  EXPECT_FALSE(blockOn(socket->closeReason()));
  socket->send({3}, counting(100));
  EXPECT_EQ(blockOn(socket->makeNetworkTransportReport()).queueBytesOut, 0) << "nothing is taken after the close";
  EXPECT_EQ(written, 11) << "dropped bytes are not written";
  EXPECT_EQ(acknowledged, 11);
}

}  // namespace
}  // namespace rtmpfluvio
