#include "Tracepost/Sources/NetSocket.hpp"

#include <gtest/gtest.h>

#include <asio/post.hpp>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "Platform/Concurrency/Executor.hpp"

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
  // One at a time first: a sender that has gone idle starts again.
  std::string expected;
  for (const std::string line : {"first\r\n\r\n", "second\r\n\r\n"}) {
    socket->write(bytes(line));
    expected += line;
    ASSERT_TRUE(peer.waitFor(firstConnectionHolds(expected)));
  }
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
  // The close waits for the line written before it.
  socket->close();
  ASSERT_TRUE(peer.waitForEnded(1));
  EXPECT_EQ(peer.received()[0], "one");
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

// Line `index` of a numbered run: its number, a colon, `size` bytes of filler.
std::string numbered(std::size_t index, std::size_t size) {
  return std::to_string(index) + ":" + std::string(size, 'x') + "\r\n\r\n";
}

// The numbers of the lines in a received stream, in the order they came.
std::vector<std::size_t> numbersIn(const std::string& stream) {
  std::vector<std::size_t> numbers;
  for (std::size_t start = 0, end; (end = stream.find("\r\n\r\n", start)) != std::string::npos; start = end + 4) {
    numbers.push_back(std::stoul(stream.substr(start, stream.find(':', start) - start)));
  }
  return numbers;
}

// Whether every thread of the pool can take a task at once: the tasks wait
// for one another, which they can only while no pool thread is held elsewhere.
bool poolThreadsAllFree() {
  const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
  // Shared with the tasks, which may still be leaving their wait after this returns.
  struct Gathering {
    std::mutex mutex;
    std::condition_variable arrived;
    unsigned count = 0;
  };
  const auto gathering = std::make_shared<Gathering>();
  const auto allThere = [gathering, threads] { return gathering->count >= threads; };
  for (unsigned index = 0; index < threads; ++index) {
    asio::post(platform::globalExecutor(), [gathering, allThere] {
      std::unique_lock lock(gathering->mutex);
      ++gathering->count;
      gathering->arrived.notify_all();
      gathering->arrived.wait_for(lock, 10s, allThere);
    });
  }
  std::unique_lock lock(gathering->mutex);
  const bool all = gathering->arrived.wait_for(lock, 10s, allThere);
  // Lets the tasks go, whether or not all of them came.
  gathering->count = std::max(gathering->count, threads);
  gathering->arrived.notify_all();
  return all;
}

TEST(NetSocket, AStalledPeerCostsABoundedQueueLosesTheOldestLinesAndCatchesUp) {
  LoopbackPeer peer(LoopbackPeer::Mode::acceptingOnly, 4096);
  const auto socket = NetSocket::make();
  std::mutex mutex;
  std::vector<std::uint64_t> announced;
  socket->setStallHandler([&](std::uint64_t dropped) {
    std::lock_guard lock(mutex);
    announced.push_back(dropped);
  });
  socket->connect("127.0.0.1", peer.port());
  ASSERT_TRUE(eventually([&] { return socket->connected(); }));

  // Large lines until the peer's and the kernel's buffers are full.
  std::size_t written = 0;
  ASSERT_TRUE(eventually(
      [&] {
        socket->write(bytes(numbered(written++, 64 << 10)));
        return eventually([&] { return socket->queuedLines() == 0 || socket->waitingForPeer(); }) &&
               socket->waitingForPeer();
      },
      60s));
  EXPECT_EQ(socket->droppedLines(), 0u);

  // Small lines beyond the line bound: the queue stays at it.
  const std::size_t extra = 100;
  for (std::size_t index = 0; index < LineQueue::defaultMaxLines + extra; ++index) {
    socket->write(bytes(numbered(written++, 8)));
  }
  EXPECT_LE(socket->queuedLines(), LineQueue::defaultMaxLines);
  EXPECT_LE(socket->queuedBytes(), LineQueue::defaultMaxBytes);
  const std::uint64_t dropped = socket->droppedLines();
  EXPECT_GE(dropped, extra);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(announced, std::vector<std::uint64_t>{1}) << "said once, at the first drop";
  }
  EXPECT_TRUE(poolThreadsAllFree()) << "no pool thread waits for the peer";
  EXPECT_TRUE(socket->connected());

  peer.startReading();
  ASSERT_TRUE(peer.waitFor(
      [&](const auto& received) {
        return received.size() == 1 && received[0].ends_with(numbered(written - 1, 8));
      },
      20s));
  EXPECT_EQ(socket->droppedLines(), dropped) << "nothing dropped once the peer reads";
  const auto numbers = numbersIn(peer.received()[0]);
  ASSERT_EQ(numbers.size() + dropped, written) << "every line arrived or was counted";
  // In order, with one gap: the oldest waiting lines.
  std::size_t gaps = 0;
  for (std::size_t index = 1; index < numbers.size(); ++index) {
    ASSERT_LT(numbers[index - 1], numbers[index]);
    if (numbers[index] != numbers[index - 1] + 1) ++gaps;
  }
  EXPECT_EQ(gaps, 1u);
  EXPECT_EQ(numbers.end()[-static_cast<std::ptrdiff_t>(LineQueue::defaultMaxLines) - 1] + dropped + 1,
            numbers.end()[-static_cast<std::ptrdiff_t>(LineQueue::defaultMaxLines)])
      << "the lines after the gap are the queue's fill";
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
