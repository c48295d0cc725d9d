#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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

  // One row of luma and the chroma row under it (two rows of pixels).
  struct Strip {
    std::vector<std::uint8_t> luma;
    std::vector<std::uint8_t> chroma;
  };

 private:
  explicit SyntheticScreen(ScreenPictures pictures);

  ScreenPictures pictures_;
  // The background's strip for each of its greens, the square's and the
  // flash's: converted once, a frame is copied together from strips that
  // stay in the cache.
  std::vector<Strip> background_;
  Strip square_;
  Strip flash_;
};

}  // namespace platform::broadcastservice
