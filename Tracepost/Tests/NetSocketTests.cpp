#include "Tracepost/Sources/NetSocket.hpp"

#include <gtest/gtest.h>

#include <string>

#include "Tracepost/Tests/Support/LoopbackPeer.hpp"

namespace tracepost {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::LoopbackPeer;

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

auto connectionCount(std::size_t count) {
  return [count](const std::vector<std::string>& received) { return received.size() == count; };
}

auto firstConnectionHolds(std::string text) {
  return [text](const std::vector<std::string>& received) { return !received.empty() && received[0] == text; };
}

TEST(NetSocket, StartsUnconnectedWithItsDefaults) {
  const auto socket = NetSocket::make();
  EXPECT_FALSE(socket->connected());
  EXPECT_EQ(socket->timeout(), 15);
  EXPECT_EQ(NetSocket::windowSizeC, 65535u);
  EXPECT_TRUE(socket->inputBuffer().empty());
}

TEST(NetSocket, LinesArriveInOrder) {
  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  std::string expected;
  for (int index = 0; index < 500; ++index) {
    const std::string line = "line " + std::to_string(index) + "\r\n\r\n";
    EXPECT_EQ(socket->write(bytes(line)), line.size());
    expected += line;
  }
  EXPECT_TRUE(peer.waitFor(firstConnectionHolds(expected)));
}

// The peer's connection waits behind one that fails (nothing listens on port
// 0), and the close of that one, which lets it start, is queued behind the
// early write: the write has run before any connection opened.
TEST(NetSocket, WritesBeforeTheConnectionOpensAreDropped) {
  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  EXPECT_EQ(socket->write(bytes("early")), 5u);
  socket->connect("127.0.0.1", 0);
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->write(bytes("late"));
  EXPECT_TRUE(peer.waitFor(firstConnectionHolds("late")));
}

TEST(NetSocket, ClosingTwiceOrNeverConnectedIsHarmless) {
  const auto idle = NetSocket::make();
  idle->close();
  idle->close();

  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->close();
  socket->close();
  EXPECT_TRUE(eventually([&] { return !socket->connected(); }));
  ASSERT_TRUE(peer.waitForEnded(1));
  // Queued after the close, the write finds no connection and opens none.
  socket->write(bytes("after close"));
  socket->close();
  EXPECT_EQ(peer.received(), std::vector<std::string>{""});
}

TEST(NetSocket, ReconnectsAfterClose) {
  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->write(bytes("one"));
  ASSERT_TRUE(peer.waitFor(firstConnectionHolds("one")));
  socket->close();
  ASSERT_TRUE(eventually([&] { return !socket->connected(); }));
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->write(bytes("two"));
  EXPECT_TRUE(peer.waitFor([](const auto& received) { return received.size() == 2 && received[1] == "two"; }));
}

TEST(NetSocket, SecondConnectWaitsForTheFirstToClose) {
  LoopbackPeer first;
  LoopbackPeer second;
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", first.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->connect("127.0.0.1", second.port());
  EXPECT_FALSE(second.waitFor(connectionCount(1), 200ms));
  socket->close();
  EXPECT_TRUE(second.waitFor(connectionCount(1)));
  EXPECT_TRUE(eventually([&] { return socket->connected(); }));
}

TEST(NetSocket, PeerClosingClosesTheSocket) {
  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  ASSERT_TRUE(peer.waitFor(connectionCount(1)));
  peer.dropConnections();
  EXPECT_TRUE(eventually([&] { return !socket->connected(); }));
}

TEST(NetSocket, RefusedOrInvalidTargetsLeaveItClosed) {
  const auto socket = NetSocket::make();
  int closedPort;
  {
    LoopbackPeer gone;
    closedPort = gone.port();
  }
  socket->connect("127.0.0.1", closedPort);
  socket->connect("127.0.0.1", 70000);
  socket->connect("127.0.0.1", -1);
  LoopbackPeer peer;
  socket->connect("127.0.0.1", peer.port());
  EXPECT_TRUE(peer.waitFor(connectionCount(1))) << "a refused connection closes and lets the next one run";
}

TEST(NetSocket, TimeoutClosesAConnectionThatNeverOpens) {
  LoopbackPeer full(LoopbackPeer::Mode::notAccepting);
  LoopbackPeer peer;
  const auto socket = NetSocket::make();
  socket->setTimeout(1);
  socket->connect("127.0.0.1", full.port());
  socket->connect("127.0.0.1", peer.port());
  EXPECT_FALSE(peer.waitFor(connectionCount(1), 500ms)) << "still waiting on the first connection";
  EXPECT_FALSE(socket->connected());
  EXPECT_TRUE(peer.waitFor(connectionCount(1), 5s)) << "the time-out closed the first connection";
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->write(bytes("after time-out"));
  EXPECT_TRUE(peer.waitFor(firstConnectionHolds("after time-out")));
}

TEST(NetSocket, AWriteThatCannotFinishClosesTheConnection) {
  LoopbackPeer stalled(LoopbackPeer::Mode::acceptingOnly);
  const auto socket = NetSocket::make();
  socket->setTimeout(1);
  socket->connect("127.0.0.1", stalled.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  socket->write(std::vector<std::uint8_t>(64 << 20, 'x'));
  EXPECT_TRUE(eventually([&] { return !socket->connected(); }, 10s));
}

TEST(NetSocket, KeepsOnlyTheNewestReceivedBytes) {
  asio::io_context context;
  asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
  const auto socket = NetSocket::make();
  socket->connect("127.0.0.1", acceptor.local_endpoint().port());
  asio::ip::tcp::socket peer = acceptor.accept();
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));
  std::string sent(NetSocket::inputBufferLimit + 1000, 'a');
  sent.replace(sent.size() - 3, 3, "end");
  asio::write(peer, asio::buffer(sent));
  ASSERT_TRUE(eventually([&] {
    const auto buffer = socket->inputBuffer();
    return buffer.size() == NetSocket::inputBufferLimit && std::string(buffer.end() - 3, buffer.end()) == "end";
  }));
}

}  // namespace
}  // namespace tracepost
