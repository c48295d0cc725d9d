#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/ReplayKit/Service/ScreenSource.hpp"

struct xcb_connection_t;

namespace platform::broadcastservice {

// The X11 display's root window, read band by band through a shared-memory
// segment each tick: the whole screen at its own size.
class X11Screen final : public ScreenSource {
 public:
  // Nothing, with the reason in `error`, when the display cannot be opened
  // or has no shared-memory extension or no 24/32-bit visual.
  static std::unique_ptr<X11Screen> make(std::string& error);
  ~X11Screen() override;

  std::shared_ptr<CMSampleBuffer> frame(std::uint64_t hostTime, std::uint64_t index) override;

 private:
  X11Screen() = default;
  // Rows `top` to `top + rows` of the screen into the same rows of `picture`;
  // false when the server gives no image.
  bool readBand(int top, int rows, const CVPixelBuffer& picture);

  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  int width_ = 0;
  int height_ = 0;
  int bandRows_ = 0;  // even, so that each band starts on a chroma row
  std::uint32_t segment_ = 0;
  std::uint8_t* pixels_ = nullptr;
  std::optional<ScreenPictures> pictures_;
};

}  // namespace platform::broadcastservice
