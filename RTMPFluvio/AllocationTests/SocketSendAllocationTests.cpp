// Counts heap blocks made while messages go out through a socket: the
// chunks written for them, the queue, the hops onto the socket's and the
// connection's strands, the send's completion and the written notice. Its own
// program: the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <atomic>
#include <cstdio>
#include <future>
#include <vector>

#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "bench/AllocationCounter.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Keeps everything one client sends until it closes; its own blocks are not counted.
class DrainingServer {
 public:
  DrainingServer() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    read_ = std::async(std::launch::async, [this] {
      bench::leaveAllocationCount();
      asio::ip::tcp::socket client(io_);
      acceptor_.accept(client);
      Bytes all;
      Bytes buffer(64 * 1024);
      std::error_code end;
      while (!end) {
        const std::size_t read = client.read_some(asio::buffer(buffer), end);
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read));
      }
      return all;
    });
  }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  Bytes received() { return read_.get(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::future<Bytes> read_;
};

// Sends the bytes `next` makes, `count` times in order, each once the one
// before was told written, as media leaves at its pace rather than in one burst.
template <class Next>
void sendOneByOne(RTMPSocket& socket, std::size_t count, Next next, std::atomic<int>& written) {
  for (std::size_t index = 0; index < count; ++index) {
    const int before = written.load();
    socket.send(next(index), [&written](RTMPSocket::Delivery delivery) {
      if (delivery != RTMPSocket::Delivery::written) return;
      written.fetch_add(1);
      written.notify_all();
    });
    written.wait(before);
  }
}

void sendOneByOne(RTMPSocket& socket, std::vector<platform::OutgoingBytes>& pieces, std::atomic<int>& written) {
  sendOneByOne(socket, pieces.size(), [&pieces](std::size_t index) { return std::move(pieces[index]); }, written);
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
  EXPECT_EQ(server.received().size(), (kWarmUp + kCount) * kSize);
  std::printf("allocations per message sent: %.3f\n", static_cast<double>(made) / kCount);
  EXPECT_LE(made, static_cast<std::int64_t>(kCount / 20));
}

// Video frames of a few sizes, so that chunks of one frame span blocks of
// different sizes and a message fills several chunks.
std::vector<RTMPVideoMessage> makeFrames(std::size_t count) {
  constexpr std::size_t kSizes[] = {700, 3000, 9000, 1500};
  std::vector<RTMPVideoMessage> frames;
  for (std::size_t index = 0; index < count; ++index) {
    Bytes payload(kSizes[index % std::size(kSizes)]);
    for (std::size_t at = 0; at < payload.size(); ++at) payload[at] = static_cast<std::uint8_t>(at * 7 + index);
    frames.emplace_back(1, static_cast<std::uint32_t>(index * 33), std::move(payload));
  }
  return frames;
}

// Each message's chunks are written into fresh bytes that travel to the
// network connection and are released once written; they come back from the
// block pool for the next message. What arrives is what a writer of plain
// vectors makes of the same messages.
TEST(SocketSendAllocations, ChunkedMessagesGoOutWithoutHeapBlocksOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  constexpr std::size_t kWarmUp = 200;
  constexpr std::size_t kCount = 2000;
  constexpr std::uint32_t kChunkSize = 4096;
  const auto frames = makeFrames(kWarmUp + kCount);
  RTMPChunkWriter expectedWriter;
  expectedWriter.setChunkSize(kChunkSize);
  Bytes expected;
  for (const auto& frame : frames) expectedWriter.write(RTMPChunkType::one, 5, frame, expected);

  DrainingServer server;
  auto socket = RTMPSocket::make(platform::NWParameters::tcp());
  auto received = platform::blockOn(socket->connect("127.0.0.1", server.port()));
  RTMPChunkWriter writer;
  writer.setChunkSize(kChunkSize);
  const auto chunked = [&](std::size_t index) {
    platform::OutgoingBytes chunks;
    writer.write(RTMPChunkType::one, 5, frames[index], chunks);
    return chunks;
  };
  std::atomic<int> written = 0;
  sendOneByOne(*socket, kWarmUp, chunked, written);
  const auto before = bench::allocationCount();
  sendOneByOne(*socket, kCount, [&](std::size_t index) { return chunked(kWarmUp + index); }, written);
  const auto made = bench::allocationCount() - before;
  platform::blockOn(socket->shutdown());
  EXPECT_EQ(written, static_cast<int>(kWarmUp + kCount)) << "each message was told written once";
  EXPECT_TRUE(server.received() == expected) << "the bytes on the wire are those a plain writer makes";
  std::printf("allocations per chunked message sent: %.3f\n", static_cast<double>(made) / kCount);
  EXPECT_LE(made, static_cast<std::int64_t>(kCount / 20));
}

}  // namespace
}  // namespace rtmpfluvio
