#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

using namespace platform;

TEST(CVPixelBufferTests, LaysOutPlanesWithAlignedStrides) {
  const auto nv12 = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  ASSERT_NE(nv12, nullptr);
  EXPECT_EQ(nv12->planeCount(), 2u);
  EXPECT_EQ(nv12->bytesPerRowOfPlane(0), 1280u);
  EXPECT_EQ(nv12->heightOfPlane(1), 360u);
  EXPECT_EQ(nv12->widthOfPlane(1), 640u);
  EXPECT_EQ(nv12->bytesPerRowOfPlane(1), 1280u);  // CbCr pairs
  EXPECT_EQ(nv12->baseAddressOfPlane(1) - nv12->baseAddressOfPlane(0), 1280 * 720);
  EXPECT_EQ(nv12->dataSize(), 1280u * 720u * 3 / 2);

  // Odd sizes round the chroma planes up; every row starts 64-byte aligned.
  const auto planar = CVPixelBuffer::make(101, 51, kCVPixelFormatType_420YpCbCr8Planar).value;
  ASSERT_NE(planar, nullptr);
  EXPECT_EQ(planar->planeCount(), 3u);
  EXPECT_EQ(planar->bytesPerRowOfPlane(0), 128u);
  EXPECT_EQ(planar->widthOfPlane(2), 51u);
  EXPECT_EQ(planar->heightOfPlane(2), 26u);
  EXPECT_EQ(planar->bytesPerRowOfPlane(2), 64u);
  for (std::size_t plane = 0; plane < 3; ++plane) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(planar->baseAddressOfPlane(plane)) % 64, 0u);
  }
  EXPECT_EQ(planar->dataSize(), 128u * 51 + 64u * 26 * 2);
  EXPECT_EQ(planar->baseAddressOfPlane(3), nullptr);

  const auto tenBit = CVPixelBuffer::make(1920, 1080, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange).value;
  EXPECT_EQ(tenBit->bytesPerRowOfPlane(0), 3840u);

  const auto bgra = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_32BGRA).value;
  EXPECT_FALSE(bgra->isPlanar());
  EXPECT_EQ(bgra->bytesPerRow(), 5120u);
  EXPECT_EQ(bgra->baseAddressOfPlane(0), nullptr);
  EXPECT_EQ(bgra->bytesPerRowOfPlane(0), 0u);
}

TEST(CVPixelBufferTests, RefusesUnknownFormatsAndSizes) {
  EXPECT_EQ(CVPixelBuffer::make(16, 16, fourCC("abcd")).status, kCVReturnInvalidPixelFormat);
  EXPECT_EQ(CVPixelBuffer::make(0, 16, kCVPixelFormatType_32BGRA).status, kCVReturnInvalidSize);
  EXPECT_EQ(CVPixelBuffer::make(16, -1, kCVPixelFormatType_32BGRA).status, kCVReturnInvalidSize);
  EXPECT_EQ(CVPixelBuffer::make(1 << 20, 1 << 20, kCVPixelFormatType_32BGRA).status, kCVReturnInvalidSize);
}

TEST(CVPixelBufferTests, UnlocksOnlyWhatIsLocked) {
  const auto buffer = CVPixelBuffer::make(64, 64, kCVPixelFormatType_32BGRA).value;
  EXPECT_EQ(buffer->unlockBaseAddress(0), kCVReturnError);
  EXPECT_EQ(buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
  EXPECT_EQ(buffer->unlockBaseAddress(0), kCVReturnError);
  EXPECT_EQ(buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
  EXPECT_EQ(buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnError);
  EXPECT_EQ(buffer->lockBaseAddress(0x10), kCVReturnInvalidArgument);
}

TEST(CVPixelBufferTests, KeepsAttachmentsByPropagationMode) {
  const auto buffer = CVPixelBuffer::make(64, 64, kCVPixelFormatType_32BGRA).value;
  buffer->setAttachment(kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_ITU_R_2020,
                        CVAttachmentMode::shouldPropagate);
  buffer->setAttachment("Local", "x", CVAttachmentMode::shouldNotPropagate);
  EXPECT_EQ(buffer->attachments(CVAttachmentMode::shouldPropagate),
            (CVPixelBuffer::Attachments{{kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_ITU_R_2020}}));
  // Re-setting with another mode moves an attachment over.
  buffer->setAttachments(buffer->attachments(CVAttachmentMode::shouldNotPropagate), CVAttachmentMode::shouldPropagate);
  EXPECT_TRUE(buffer->attachments(CVAttachmentMode::shouldNotPropagate).empty());
  EXPECT_EQ(buffer->attachments(CVAttachmentMode::shouldPropagate).size(), 2u);
}

TEST(CVPixelBufferPoolTests, ReusesTheBlocksOfReleasedBuffers) {
  CVPixelBufferAttributes attributes;
  attributes.pixelFormatType = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
  attributes.width = 1280;
  attributes.height = 720;
  const auto pool = CVPixelBufferPool::make(attributes).value;
  ASSERT_NE(pool, nullptr);

  auto first = pool->createPixelBuffer().value;
  auto second = pool->createPixelBuffer().value;
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first->baseAddress(), second->baseAddress());
  EXPECT_EQ(first->width(), 1280u);
  EXPECT_EQ(first->planeCount(), 2u);

  std::uint8_t* const released = first->baseAddress();
  first.reset();
  const auto reused = pool->createPixelBuffer().value;
  EXPECT_EQ(reused->baseAddress(), released);

  // A steady stream of one frame at a time cycles through the same blocks.
  std::set<std::uint8_t*> addresses;
  for (int frame = 0; frame < 20; ++frame) addresses.insert(pool->createPixelBuffer().value->baseAddress());
  EXPECT_EQ(addresses.size(), 1u);
}

TEST(CVPixelBufferPoolTests, BuffersOutliveTheirPool) {
  CVPixelBufferAttributes attributes{kCVPixelFormatType_32BGRA, 32, 32};
  auto pool = CVPixelBufferPool::make(attributes).value;
  auto buffer = pool->createPixelBuffer().value;
  pool.reset();
  buffer->baseAddress()[0] = 1;  // still valid; freed with the buffer
  buffer.reset();

  EXPECT_EQ(CVPixelBufferPool::make(CVPixelBufferAttributes{kCVPixelFormatType_32BGRA, 32, std::nullopt}).status,
            kCVReturnInvalidPoolAttributes);
  EXPECT_EQ(CVPixelBufferPool::make(CVPixelBufferAttributes{fourCC("none"), 32, 32}).status, kCVReturnInvalidPixelFormat);
}
