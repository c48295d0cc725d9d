#include <gtest/gtest.h>

#include <stdexcept>

#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"

namespace rtmpfluvio {
namespace {

// A chunk size the wire cannot carry is refused before a connection exists,
// not announced to the server.
TEST(RTMPConnectionConfigurationTests, ChunkSizeMustFitTheWire) {
  for (const std::uint32_t chunkSize : {1u, 128u, 0x7FFFFFFFu}) {
    RTMPConnectionConfiguration configuration;
    configuration.chunkSize = chunkSize;
    EXPECT_NO_THROW(configuration.validate()) << chunkSize;
    EXPECT_TRUE(RTMPConnection::make(configuration)) << chunkSize;
  }
  for (const std::uint32_t chunkSize : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    RTMPConnectionConfiguration configuration;
    configuration.chunkSize = chunkSize;
    EXPECT_THROW(configuration.validate(), std::invalid_argument) << chunkSize;
    try {
      RTMPConnection::make(configuration);
      ADD_FAILURE() << "made with chunk size " << chunkSize;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find("chunkSize " + std::to_string(chunkSize)), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace rtmpfluvio
