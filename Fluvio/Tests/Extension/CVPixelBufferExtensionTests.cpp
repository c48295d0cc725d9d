#include <gtest/gtest.h>

#include "Fluvio/Sources/Extension/CVPixelBufferExtension.hpp"

using namespace platform;

TEST(CVPixelBufferExtensionTests, MakesAnImageOfTheBufferAndReleasesItsLock) {
  for (OSType format : {kCVPixelFormatType_32BGRA, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                        kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange}) {
    auto buffer = CVPixelBuffer::make(64, 36, format).value;
    const auto image = fluvio::makeCIImage(buffer);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->extent(), (CGRect{{0, 0}, {64, 36}}));
    EXPECT_NE(buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnSuccess) << "a lock was left held";
  }
  const auto error = fluvio::CVPixelBufferError::failedToUnlock(kCVReturnError);
  EXPECT_STREQ(error.what(), "CVPixelBuffer.Error.failedToUnlock(-6660)");
}
