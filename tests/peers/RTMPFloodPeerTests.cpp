#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <future>
#include <string>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObject.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using platform::blockOn;
using testing::ScriptedRTMPServer;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kMiB = 1024 * 1024;

// A field of /proc/self/status in bytes.
std::int64_t statusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stoll(line.substr(field.size() + 1)) * 1024;
  }
  ADD_FAILURE() << "no " << field << " in /proc/self/status";
  return 0;
}

// Sanitizers keep freed memory in quarantine and add shadow memory, so the
// resident size says nothing about what the code holds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeTellsWhatIsHeld = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kResidentSizeTellsWhatIsHeld = false;
#else
constexpr bool kResidentSizeTellsWhatIsHeld = true;
#endif
#else
constexpr bool kResidentSizeTellsWhatIsHeld = true;
#endif

// The peak resident size since `before` stays under `bound`.
void expectPeakGrowthBelow(std::int64_t before, std::int64_t bound, const std::string& flood) {
  const std::int64_t peak = statusBytes("VmHWM");
  std::cout << "under the " << flood << " flood the peak resident size was " << peak / kMiB << " MiB, "
            << (peak - before) / kMiB << " MiB above the start\n";
  if (kResidentSizeTellsWhatIsHeld) EXPECT_LT(peak - before, bound);
}

// Starts the peak resident size over from the current one.
void resetPeakResidentSize() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Connects through the scripted server and answers the connect.
void connectAndAccept(ScriptedRTMPServer& server, const std::shared_ptr<RTMPConnection>& connection) {
  auto pending = std::async(std::launch::async, [&] { return blockOn(connection->connect(server.url())); });
  server.accept();
  server.replyToConnect(server.nextCommand(), "NetConnection.Connect.Success");
  ASSERT_EQ(pending.get().status()->code(), "NetConnection.Connect.Success");
}

// Sends until the client has closed its side; false when it never did.
bool floodUntilClosed(ScriptedRTMPServer& server, const std::function<Bytes(std::size_t)>& batch) {
  try {
    for (std::size_t index = 0; index < 100'000; ++index) server.sendBytes(batch(index));
  } catch (const std::system_error&) {
    return true;
  }
  return false;
}

// A server that opens chunk stream after chunk stream, each with a quarter
// MiB of a message it never finishes, is cut off once the partial messages
// reach the reader's bound; it cannot grow the process past it.
TEST(RTMPFloodPeerTests, PartialMessagesOnManyChunkStreamsEndTheConnection) {
  constexpr std::uint32_t kChunkSize = 65536;
  constexpr std::uint32_t kPartial = 4 * kChunkSize;
  ScriptedRTMPServer server;
  auto connection = RTMPConnection::make();
  connectAndAccept(server, connection);
  auto statuses = blockOn(connection->status());
  server.send(RTMPSetChunkSizeMessage(0, 0, kChunkSize), 2);
  resetPeakResidentSize();
  const std::int64_t before = statusBytes("VmRSS");

  const Bytes payload(kChunkSize, 0x5A);
  const bool closed = floodUntilClosed(server, [&](std::size_t index) {
    // Chunk streams 64 to 3063, in the three-byte basic header form.
    const std::size_t id = index % 3000;
    const auto low = static_cast<std::uint8_t>(id);
    const auto high = static_cast<std::uint8_t>(id >> 8);
    const std::uint32_t length = kPartial + 1;
    Bytes bytes{0x01, low, high, 0, 0, 0, static_cast<std::uint8_t>(length >> 16),
                static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0x09, 1, 0, 0, 0};
    for (std::uint32_t sent = 0; sent < kPartial; sent += kChunkSize) {
      if (sent > 0) bytes.insert(bytes.end(), {0xC1, low, high});
      bytes.insert(bytes.end(), payload.begin(), payload.end());
    }
    return bytes;
  });
  EXPECT_TRUE(closed);
  const auto status = blockOn(statuses.next());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code(), "NetConnection.Connect.Closed");

  expectPeakGrowthBelow(before, 256 * kMiB, "chunk-stream");
}

// Shared-object messages for names no one here asked for are dropped: a
// server that sends a fresh name in each of 200,000 messages leaves the
// registry and the resident size as they were, and the connection answers
// its ping afterwards.
TEST(RTMPFloodPeerTests, SharedObjectMessagesForUnaskedNamesLeaveNoTrace) {
  ScriptedRTMPServer server;
  auto connection = RTMPConnection::make();
  connectAndAccept(server, connection);
  resetPeakResidentSize();
  const std::int64_t before = statusBytes("VmRSS");

  constexpr std::size_t kMessages = 200'000;
  constexpr std::size_t kPerBatch = 1000;
  RTMPChunkWriter writer;
  for (std::size_t batch = 0; batch < kMessages / kPerBatch; ++batch) {
    Bytes bytes;
    for (std::size_t index = batch * kPerBatch; index < (batch + 1) * kPerBatch; ++index) {
      const RTMPSharedObjectMessage message(0, 0, RTMPObjectEncoding::amf0, "flood" + std::to_string(index), 1,
                                            RTMPSharedObjectMessage::makeFlags(false),
                                            {{RTMPSharedObjectType::change, "p", AMFValue(1.0)}});
      writer.write(RTMPChunkType::zero, 3, message, bytes);
    }
    server.sendBytes(bytes);
  }
  server.send(RTMPUserControlMessage(0, 0, RTMPUserControlMessage::Event::ping, 4242), 2);
  for (;;) {
    const auto message = server.nextMessage();
    const auto* user = std::get_if<RTMPUserControlMessage>(&message);
    if (user && user->event() == RTMPUserControlMessage::Event::pong) {
      EXPECT_EQ(user->value(), 4242);
      break;
    }
  }

  expectPeakGrowthBelow(before, 64 * kMiB, "shared-object");
  const std::string path = server.url();
  EXPECT_FALSE(RTMPSharedObject::findRemote("flood0", path, false));
  EXPECT_FALSE(RTMPSharedObject::findRemote("flood199999", path, false));
  EXPECT_TRUE(blockOn(connection->connected()));
  blockOn(connection->close());
}

}  // namespace
}  // namespace rtmpfluvio
