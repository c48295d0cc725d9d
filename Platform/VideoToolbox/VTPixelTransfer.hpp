#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"

struct AVFrame;
struct SwsContext;

namespace platform {

// How a picture of another size fills the destination.
enum class VTScalingMode {
  normal,                     // copied unscaled into the top-left corner, cut or padded with black
  cropSourceToCleanAperture,  // stretched over the whole destination (no aperture is known here)
  letterbox,                  // scaled to fit inside, aspect kept, black bars
  trim,                       // scaled to cover, aspect kept, the overhang cut off evenly
};

std::optional<VTScalingMode> scalingModeFromString(std::string_view text);

struct VTRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const VTRect&, const VTRect&) = default;
};

// The part of the source that is drawn and where it lands. Offsets are even so
// that subsampled chroma starts on a whole sample.
struct VTPlacement {
  VTRect source;
  VTRect destination;

  static VTPlacement make(int sourceWidth, int sourceHeight, int destinationWidth, int destinationHeight,
                          VTScalingMode mode);

  friend bool operator==(const VTPlacement&, const VTPlacement&) = default;
};

// The planes of one picture, as swscale addresses them.
struct VTImagePlanes {
  AVPixelFormat format = AV_PIX_FMT_NONE;
  bool fullRange = false;
  int width = 0;
  int height = 0;
  std::uint8_t* data[4] = {};
  int linesize[4] = {};

  // None for a pixel format swscale is not given here. Lock the buffer
  // while the planes are used.
  static std::optional<VTImagePlanes> of(const CVPixelBuffer& buffer);
  static VTImagePlanes of(AVFrame& frame);
};

std::optional<AVPixelFormat> avPixelFormat(OSType pixelFormatType);

// Converts and scales pictures, keeping one conversion context between calls.
class VTPixelTransfer {
 public:
  VTPixelTransfer() = default;
  ~VTPixelTransfer();
  VTPixelTransfer(const VTPixelTransfer&) = delete;
  VTPixelTransfer& operator=(const VTPixelTransfer&) = delete;

  // Draws `source` into `destination`; what the source leaves uncovered is
  // black. False when the conversion cannot be made.
  bool transfer(const VTImagePlanes& source, const VTImagePlanes& destination, VTScalingMode mode);

 private:
  struct Conversion {
    int sourceWidth, sourceHeight;
    AVPixelFormat sourceFormat;
    bool sourceFullRange;
    int destinationWidth, destinationHeight;
    AVPixelFormat destinationFormat;
    bool destinationFullRange;

    friend bool operator==(const Conversion&, const Conversion&) = default;
  };

  // A context for `conversion`, set up with the slice threads.
  bool makeContext(const Conversion& conversion);

  SwsContext* context_ = nullptr;
  std::optional<Conversion> conversion_;
};

}  // namespace platform
