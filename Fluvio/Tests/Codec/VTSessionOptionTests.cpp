#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Codec/VTSessionError.hpp"
#include "Fluvio/Sources/Codec/VTSessionOption.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace fluvio {
namespace {

TEST(VTSessionOption, OptionsOfOneKeyAreOneOptionAndTheFirstStays) {
  const VTSessionOption first{VTSessionOptionKey::averageBitRate(), std::int64_t{1'000'000}};
  const VTSessionOption second{VTSessionOptionKey::averageBitRate(), std::int64_t{2'000'000}};
  EXPECT_EQ(first, second);
  EXPECT_NE(first, (VTSessionOption{VTSessionOptionKey::constantBitRate(), std::int64_t{1'000'000}}));

  const VTSessionOptionSet options{first, second, {VTSessionOptionKey::realTime(), true}};
  ASSERT_EQ(options.size(), 2u);
  EXPECT_EQ(options.find(second)->value, platform::VTPropertyValue(std::int64_t{1'000'000}));
}

TEST(VTSessionOption, KeysCarryThePlatformPropertyNamesAndEncodeAsTheirText) {
  EXPECT_EQ(VTSessionOptionKey::maxKeyFrameIntervalDuration().rawValue,
            platform::kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration);
  EXPECT_EQ(VTSessionOptionKey::pixelTransferProperties().rawValue,
            platform::kVTCompressionPropertyKey_PixelTransferProperties);

  const VTSessionOptionKey anyText{"any text at all"};
  EXPECT_EQ(nlohmann::json(anyText), nlohmann::json("any text at all"));
  EXPECT_EQ(nlohmann::json("any text at all").get<VTSessionOptionKey>(), anyText);
  EXPECT_THROW(nlohmann::json(12).get<VTSessionOptionKey>(), nlohmann::json::exception);
}

TEST(VTSessionError, NamesItsCaseAndStatus) {
  const VTSessionError error(VTSessionError::Case::failedToPrepare, -12902);
  EXPECT_STREQ(error.what(), "failedToPrepare(status: -12902)");
  EXPECT_EQ(error.errorCase(), VTSessionError::Case::failedToPrepare);
  EXPECT_EQ(error.status(), -12902);
}

}  // namespace
}  // namespace fluvio
