#include "RTMPFluvio/Sources/RTMP/MD5.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace rtmpfluvio {
namespace {

std::string hex(const MD5::Digest& digest) {
  std::string text;
  for (const std::uint8_t byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

TEST(MD5Tests, MatchesTheRFC1321TestSuite) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : suite) EXPECT_EQ(hex(MD5::calculate(message)), digest) << message;
}

TEST(MD5Tests, HandlesLengthsAroundTheBlockEdge) {
  // The padding needs a second block from 56 bytes on.
  const std::pair<std::size_t, std::string> lengths[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},
      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& [length, digest] : lengths) {
    EXPECT_EQ(hex(MD5::calculate(std::string(length, 'a'))), digest) << length;
  }
}

}  // namespace
}  // namespace rtmpfluvio
