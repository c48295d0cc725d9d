#include <gtest/gtest.h>

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <numeric>

#include "Platform/Network/TCPConnection.hpp"
#include "Platform/Network/TLSConnection.hpp"
#include "Platform/Network/Tests/ConnectionTestSupport.hpp"
#include "Platform/Network/Tests/PathLoss.hpp"

namespace platform {
namespace {

using namespace platform::testing;

std::shared_ptr<NWConnection> connectTo(std::uint16_t port, const std::string& host = "127.0.0.1") {
  return TCPConnection::make(host, port, DispatchQoS::standard);
}

// A connection that is ready, and the peer's end of it.
struct TCPLink {
  asio::ip::tcp::socket open() {
    connection->start();
    events.waitFor(State::ready);
    return acceptor.accept();
  }

  LoopbackAcceptor acceptor;
  std::shared_ptr<NWConnection> connection = connectTo(acceptor.port());
  ConnectionEvents events{*connection};
  asio::ip::tcp::socket peer = open();
};

Bytes pattern(std::size_t size) {
  Bytes content(size);
  std::iota(content.begin(), content.end(), std::uint8_t{7});
  return content;
}

TEST(NWConnectionTests, PlainParametersMakeNoTLSLayer) {
  EXPECT_TRUE(std::dynamic_pointer_cast<TCPConnection>(NWConnection::make("localhost", 1, NWParameters::tcp())));
  const auto secure = NWConnection::make("localhost", 1, NWParameters::tls());
  EXPECT_TRUE(std::dynamic_pointer_cast<TLSConnection>(secure));
  EXPECT_FALSE(std::dynamic_pointer_cast<TCPConnection>(secure));
}

// Small and large pieces both ways (the large ones go partly through the
// reactor), then the peer's end arrives as an end of stream, not an error.
TEST(TCPConnectionTests, CarriesBytesBothWaysUntilThePeerCloses) {
  TCPLink link;
  auto& [acceptor, connection, events, peer] = link;

  for (const std::size_t size : {std::size_t{5}, std::size_t{8} << 20}) {
    SCOPED_TRACE(size);
    const Bytes content = pattern(size);
    auto sent = send(*connection, content);
    Bytes arrived(size);
    asio::read(peer, asio::buffer(arrived));
    EXPECT_FALSE(await(std::move(sent)));
    EXPECT_EQ(arrived, content);

    const Bytes reply = pattern(size + 1);
    auto written = std::async(std::launch::async, [&] { return asio::write(peer, asio::buffer(reply)); });
    const Received received = receiveExactly(*connection, reply.size());
    EXPECT_EQ(await(std::move(written)), reply.size());
    EXPECT_FALSE(received.error);
    EXPECT_EQ(received.data, reply);
  }
  std::promise<NWConnection::Progress> progress;
  connection->progress([&](NWConnection::Progress value) { progress.set_value(value); });
  EXPECT_EQ(await(progress.get_future()).written, 5 + (std::size_t{8} << 20));

  peer.close();
  const Received end = await(receive(*connection));
  EXPECT_TRUE(end.data.empty());
  EXPECT_FALSE(end.error) << end.error->what();
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::ready}));
  EXPECT_TRUE(events.viability().empty()) << "an ended stream is no lost path";
}

// The path to the peer goes away under an established connection: the
// pending receive fails with the system's reason, after the connection has
// said that it is not viable; a second failure says nothing more.
TEST(TCPConnectionTests, ALostPathMakesTheConnectionNotViableOnce) {
  TCPLink link;
  auto& [acceptor, connection, events, peer] = link;
  for (int failure = 0; failure < 2; ++failure) {
    auto pending = receive(*connection);
    settle(*connection);
    if (failure == 0) {
      EXPECT_TRUE(events.viability().empty());
    }
    const std::string unavailable = reportHostUnreachable(peer.remote_endpoint().port(), acceptor.port());
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    const Received failed = await(std::move(pending));
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->code(), asio::error::host_unreachable) << failed.error->what();
    EXPECT_EQ(events.viability(), std::vector{false});
  }
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::ready}));
}

TEST(TCPConnectionTests, ASecondReceiveOrSendWhileOneIsPendingIsRefused) {
  TCPLink link;
  auto& [acceptor, connection, events, peer] = link;
  // The peer reads nothing, so a send larger than both buffers stays pending.
  auto pendingSend = send(*connection, Bytes(64 << 20));
  const auto secondSend = await(send(*connection, bytes("more")));
  ASSERT_TRUE(secondSend);
  EXPECT_EQ(secondSend->code(), asio::error::in_progress);

  auto pendingReceive = receive(*connection);
  const Received second = await(receive(*connection));
  ASSERT_TRUE(second.error);
  EXPECT_EQ(second.error->code(), asio::error::in_progress);
  EXPECT_EQ(pendingReceive.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "not ended too early";

  peer.close();
  EXPECT_TRUE(await(std::move(pendingSend)));
  EXPECT_TRUE(await(std::move(pendingReceive)).data.empty());
}

TEST(TCPConnectionTests, ARefusedConnectionFailsWithTheSystemsText) {
  auto connection = connectTo(unusedLoopbackPort());
  expectRefused(*connection);
  EXPECT_EQ(await(send(*connection, bytes("x")))->code(), asio::error::not_connected);
}

// A cancel ends our side cleanly: the peer reads what was sent, then the
// end; a pending receive fails; later calls change nothing.
TEST(TCPConnectionTests, CancelEndsTheStreamAndReportsCancelledOnce) {
  TCPLink link;
  auto& [acceptor, connection, events, peer] = link;
  EXPECT_FALSE(await(send(*connection, bytes("last words"))));
  auto pending = receive(*connection);

  connection->cancel();
  connection->cancel();
  const Received aborted = await(std::move(pending));
  ASSERT_TRUE(aborted.error);
  EXPECT_EQ(aborted.error->code(), asio::error::operation_aborted);
  Bytes arrived(10);
  asio::read(peer, asio::buffer(arrived));
  EXPECT_EQ(arrived, bytes("last words"));
  std::error_code end;
  std::uint8_t more = 0;
  peer.read_some(asio::buffer(&more, 1), end);
  EXPECT_EQ(end, asio::error::eof);
  peer.close();

  events.waitFor(State::cancelled);
  connection->cancel();
  connection->forceCancel();
  settle(*connection);
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::ready, State::cancelled}));
  EXPECT_EQ(await(receive(*connection)).error->code(), asio::error::not_connected);
}

// Cancelled before the name is resolved: nothing more happens once the
// resolution comes back.
TEST(TCPConnectionTests, CancelWhileConnectingReportsCancelledAndNothingAfter) {
  LoopbackAcceptor acceptor;
  auto connection = connectTo(acceptor.port(), "localhost");
  ConnectionEvents events(*connection);
  // Asked from the strand, the cancel comes before the resolution can.
  asio::post(connection->strand(), [connection] {
    connection->start();
    connection->cancel();
    connection->cancel();
  });
  events.waitFor(State::cancelled);
  settle(*connection);
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::cancelled}));
}

TEST(TCPConnectionTests, ForceCancelReportsNothingAndCutsTheStream) {
  TCPLink link;
  auto& [acceptor, connection, events, peer] = link;
  connection->forceCancel();
  std::error_code end;
  std::uint8_t byte = 0;
  peer.read_some(asio::buffer(&byte, 1), end);
  EXPECT_TRUE(end);
  settle(*connection);
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::ready}));
}

}  // namespace
}  // namespace platform
