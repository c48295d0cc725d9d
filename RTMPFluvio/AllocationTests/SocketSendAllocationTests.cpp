// Counts heap blocks made while messages go out through a socket: the queue,
// the hops onto the socket's and the connection's strands, the send's
// completion and the written notice. Its own program: the counter replaces
// the global operator new.

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <atomic>
#include <cstdio>
#include <future>
#include <vector>

#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "bench/AllocationCounter.hpp"

namespace rtmpfluvio {
namespace {

// Reads everything one client sends until it closes; its own blocks are not counted.
class DrainingServer {
 public:
  DrainingServer() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    read_ = std::async(std::launch::async, [this] {
      bench::leaveAllocationCount();
      asio::ip::tcp::socket client(io_);
      acceptor_.accept(client);
      std::vector<std::uint8_t> buffer(64 * 1024);
      std::size_t read = 0;
      std::error_code end;
      while (!end) read += client.read_some(asio::buffer(buffer), end);
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

// Sends `pieces` in order, each once the one before was told written, as
// media leaves at its pace rather than in one burst.
void sendOneByOne(RTMPSocket& socket, std::vector<platform::OutgoingBytes>& pieces, std::atomic<int>& written) {
  for (auto& piece : pieces) {
    const int before = written.load();
    socket.send(std::move(piece), [&written] {
      written.fetch_add(1);
      written.notify_all();
    });
    written.wait(before);
  }
}

std::vector<platform::OutgoingBytes> makePieces(std::size_t count, std::size_t size) {
  return std::vector<platform::OutgoingBytes>(count, platform::OutgoingBytes(size, 0x5A));
}

// What the caller hands in is its own; the way out allocates nothing once
// the threads' block caches hold what it takes.
TEST(SocketSendAllocations, MessagesGoOutWithoutHeapBlocksOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  constexpr std::size_t kWarmUp = 200;
  constexpr std::size_t kCount = 2000;
  constexpr std::size_t kSize = 400;
  DrainingServer server;
  auto socket = RTMPSocket::make(platform::NWParameters::tcp());
  auto received = platform::blockOn(socket->connect("127.0.0.1", server.port()));
  std::atomic<int> written = 0;
  auto warmUp = makePieces(kWarmUp, kSize);
  sendOneByOne(*socket, warmUp, written);
  auto pieces = makePieces(kCount, kSize);
  const auto before = bench::allocationCount();
  sendOneByOne(*socket, pieces, written);
  const auto made = bench::allocationCount() - before;
  platform::blockOn(socket->shutdown());
  EXPECT_EQ(written, static_cast<int>(kWarmUp + kCount)) << "each piece was told written once";
  EXPECT_EQ(server.bytesRead(), (kWarmUp + kCount) * kSize);
  std::printf("allocations per message sent: %.3f\n", static_cast<double>(made) / kCount);
  EXPECT_LE(made, static_cast<std::int64_t>(kCount / 20));
}

}  // namespace
}  // namespace rtmpfluvio
