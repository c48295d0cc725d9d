#pragma once

#include <memory>
#include <vector>

#include "Platform/CoreMedia/CVPixelBufferPool.hpp"
#include "Platform/ReplayKit/Service/ScreenSource.hpp"

namespace platform::broadcastservice {

// A 1280x720 test picture: a dark gradient with a square that moves a little
// every frame, all white on the flash frames of the synthetic signal.
class SyntheticScreen final : public ScreenSource {
 public:
  static constexpr int width = 1280;
  static constexpr int height = 720;

  static std::unique_ptr<SyntheticScreen> make();
  std::shared_ptr<CMSampleBuffer> frame(std::uint64_t hostTime, std::uint64_t index) override;

 private:
  SyntheticScreen(std::shared_ptr<CVPixelBufferPool> pool, std::shared_ptr<const CMFormatDescription> format);

  std::shared_ptr<CVPixelBufferPool> pool_;
  std::shared_ptr<const CMFormatDescription> format_;
  // One row of the background for each of its greens, and one of the square:
  // a frame is copied together from rows that stay in the cache.
  std::vector<std::uint8_t> backgroundRows_;
  std::vector<std::uint8_t> squareRow_;
};

}  // namespace platform::broadcastservice
