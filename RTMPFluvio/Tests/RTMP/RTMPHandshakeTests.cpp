#include <gtest/gtest.h>

#include <chrono>

#include "RTMPFluvio/Sources/RTMP/RTMPHandshake.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPChunkTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

// S0, S1 (time 0x01020304, then patterned bytes), S2 and what follows it.
Bytes serverBytes(std::size_t after) {
  Bytes bytes{3, 1, 2, 3, 4, 0, 0, 0, 0};
  const Bytes random = testing::patterned(1528, 7);
  bytes.insert(bytes.end(), random.begin(), random.end());
  bytes.resize(RTMPHandshake::kC0C1Size + RTMPHandshake::kC2Size, 0x5A);
  const Bytes rest = testing::patterned(after, 9);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

TEST(RTMPHandshakeTests, C0C1IsVersionTimeZerosAndRandomBytes) {
  RTMPHandshake handshake;
  const Bytes packet = handshake.c0c1packet();
  ASSERT_EQ(packet.size(), 1537u);
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 9), (Bytes{3, 0, 0, 0, 0, 0, 0, 0, 0}));
  const Bytes other = handshake.c0c1packet();
  EXPECT_NE(Bytes(packet.begin() + 9, packet.end()), Bytes(other.begin() + 9, other.end()));
}

// However the server's bytes are cut: C2 as soon as S0 and S1 are whole,
// done once S2 is, and what follows S2 handed on.
TEST(RTMPHandshakeTests, AnySplitGivesC2EchoingS1ThenTheRest) {
  const Bytes server = serverBytes(40);
  const std::size_t splits[] = {1, 1536, 1537, 1538, 2000, 3072, 3073, 3074, server.size() - 1};
  for (const std::size_t split : splits) {
    SCOPED_TRACE(split);
    RTMPHandshake handshake;
    const auto first = handshake.receive(std::span(server).first(split));
    EXPECT_EQ(first.c2.has_value(), split >= 1537) << "C2 not before S1 is whole, and at once after";
    EXPECT_EQ(first.done, split >= 3073);
    const auto second = handshake.receive(std::span(server).subspan(split));
    const Bytes& c2 = first.c2 ? *first.c2 : *second.c2;
    ASSERT_EQ(c2.size(), 1536u);
    EXPECT_EQ(Bytes(c2.begin(), c2.begin() + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Bytes(c2.begin() + 8, c2.end()), testing::patterned(1528, 7));
    const auto seconds = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
    const std::uint32_t time = c2[4] << 24 | c2[5] << 16 | c2[6] << 8 | c2[7];
    EXPECT_LE(seconds - time, 2u) << "our time field is the clock's seconds modulo 2^32";
    EXPECT_TRUE(handshake.isDone());
    Bytes rest = first.rest;
    rest.insert(rest.end(), second.rest.begin(), second.rest.end());
    EXPECT_EQ(rest, testing::patterned(40, 9));
  }
}

TEST(RTMPHandshakeTests, ClearStartsOver) {
  RTMPHandshake handshake;
  const Bytes server = serverBytes(0);
  handshake.receive(std::span(server).first(2000));
  handshake.clear();
  EXPECT_FALSE(handshake.receive(std::span(server).first(1536)).c2);
  EXPECT_TRUE(handshake.receive(std::span(server).subspan(1536, 1)).c2);
}

}  // namespace
}  // namespace rtmpfluvio
