#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
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

// A buffer comes back for reuse only when no one holds it, also not through a
// sample buffer; it comes back without the attachments and locks of its last use.
TEST(CVPixelBufferPoolTests, HandsABufferOutAgainOnlyOnceNoOneHoldsIt) {
  const auto pool = CVPixelBufferPool::make({kCVPixelFormatType_32BGRA, 64, 32}).value;
  auto held = pool->createPixelBuffer().value;
  const auto format = CMFormatDescription::makeForImageBuffer(*held).value;
  auto sample = CMSampleBuffer::makeReadyWithImageBuffer(held, format, {}).value;
  const CVPixelBuffer* const address = held.get();
  held->setAttachment("Local", "x", CVAttachmentMode::shouldNotPropagate);
  ASSERT_EQ(held->lockBaseAddress(0), kCVReturnSuccess);
  held.reset();

  std::vector<std::shared_ptr<CVPixelBuffer>> others;
  for (int n = 0; n < 4; ++n) {
    others.push_back(pool->createPixelBuffer().value);
    EXPECT_NE(others.back().get(), address) << "the sample buffer still holds it";
    EXPECT_NE(others.back()->baseAddress(), sample->imageBuffer()->baseAddress());
  }
  others.clear();
  sample.reset();
  std::set<const CVPixelBuffer*> handedOut;
  for (int n = 0; n < 5; ++n) others.push_back(pool->createPixelBuffer().value), handedOut.insert(others.back().get());
  EXPECT_EQ(handedOut.size(), 5u);
  ASSERT_TRUE(handedOut.contains(address)) << "released, so handed out again";
  const auto& reused = *std::find_if(others.begin(), others.end(), [&](const auto& b) { return b.get() == address; });
  EXPECT_TRUE(reused->attachments(CVAttachmentMode::shouldNotPropagate).empty());
  EXPECT_EQ(reused->unlockBaseAddress(0), kCVReturnError) << "no lock left over";
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

// Up to the threshold a pool makes buffers; at it, only released ones come
// back and the pool never grows, however many frames cycle through.
TEST(CVPixelBufferPoolTests, MakesNoMoreBuffersThanTheAllocationThreshold) {
  const auto pool = CVPixelBufferPool::make({kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 64, 36}).value;
  std::vector<std::shared_ptr<CVPixelBuffer>> held;
  for (int n = 0; n < 3; ++n) {
    auto made = pool->createPixelBuffer(3);
    ASSERT_EQ(made.status, kCVReturnSuccess) << n;
    held.push_back(made.value);
  }
  const auto refused = pool->createPixelBuffer(3);
  EXPECT_EQ(refused.status, kCVReturnWouldExceedAllocationThreshold);
  EXPECT_EQ(refused.value, nullptr);
  EXPECT_EQ(pool->createPixelBuffer(4).status, kCVReturnSuccess) << "a higher threshold makes one more";

  std::set<std::uint8_t*> blocks;
  for (const auto& buffer : held) blocks.insert(buffer->baseAddress());
  held.erase(held.begin());
  auto again = pool->createPixelBuffer(3).value;
  ASSERT_NE(again, nullptr) << "a released buffer is handed out again";
  EXPECT_TRUE(blocks.contains(again->baseAddress()));

  // Frames in flight cycle through the buffers already made.
  std::vector<std::shared_ptr<CVPixelBuffer>> inFlight;
  held.clear();
  again.reset();
  for (int frame = 0; frame < 50; ++frame) {
    if (inFlight.size() == 4) inFlight.erase(inFlight.begin());
    auto buffer = pool->createPixelBuffer(4).value;
    ASSERT_NE(buffer, nullptr) << frame;
    blocks.insert(buffer->baseAddress());
    inFlight.push_back(std::move(buffer));
  }
  EXPECT_EQ(blocks.size(), 4u) << "the four buffers made, none more";
  EXPECT_EQ(pool->createPixelBuffer(4).status, kCVReturnWouldExceedAllocationThreshold) << "all four in flight";
}
