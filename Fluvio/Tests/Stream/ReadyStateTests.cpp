#include <gtest/gtest.h>

#include "Fluvio/Sources/Stream/SessionReadyState.hpp"
#include "Fluvio/Sources/Stream/StreamReadyState.hpp"

using namespace fluvio;

TEST(ReadyState, RawValuesRoundTripAndOthersNameNoState) {
  for (int raw = 0; raw <= 4; ++raw) EXPECT_EQ(rawValue(*fromRawValue<StreamReadyState>(raw)), raw);
  EXPECT_EQ(fromRawValue<StreamReadyState>(4), StreamReadyState::publishing);
  EXPECT_EQ(fromRawValue<StreamReadyState>(5), std::nullopt);
  EXPECT_EQ(fromRawValue<StreamReadyState>(-1), std::nullopt);

  for (int raw = 0; raw <= 3; ++raw) EXPECT_EQ(rawValue(*fromRawValue<SessionReadyState>(raw)), raw);
  EXPECT_EQ(fromRawValue<SessionReadyState>(3), SessionReadyState::closed);
  EXPECT_EQ(fromRawValue<SessionReadyState>(4), std::nullopt);
  EXPECT_EQ(fromRawValue<SessionReadyState>(-1), std::nullopt);
}
