#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <stdint.h>  // before x264.h, which asks for it
#include <x264.h>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/VideoToolbox/VTFrameClock.hpp"
#include "Platform/VideoToolbox/VTFrameEncoder.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {

// H.264 through libx264 directly: parameter sets from its headers,
// length-prefixed units straight from its output. A video-range NV12 frame
// of the encoder's size is handed over as it is; any other is converted into
// a planar picture of our own first.
class VTX264Encoder final : public VTFrameEncoder {
 public:
  // Odd sides are encoded one pixel smaller: 4:2:0 needs even ones.
  VTX264Encoder(std::int32_t width, std::int32_t height);
  ~VTX264Encoder() override;

  VTX264Encoder(const VTX264Encoder&) = delete;
  VTX264Encoder& operator=(const VTX264Encoder&) = delete;

  OSStatus open(const VTEncoderConfiguration& configuration) override;
  void encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp, const CMTime& duration,
              const VTEncoderConfiguration& configuration, OutputHandler outputHandler) override;
  void requestKeyFrame() override { clock_.requestKeyFrame(); }
  void drain() override;

 private:
  struct PendingFrame {
    std::int64_t timeStamp;
    CMTime presentationTimeStamp;
    CMTime duration;
    OutputHandler outputHandler;
  };

  OSStatus readHeaders();
  // Points the input picture at `source` or at its conversion; false when
  // it cannot be converted. The source stays locked while the picture is used.
  bool preparePicture(const VTImagePlanes& source);
  void emit(const x264_nal_t* units, int unitCount);
  void close();
  void dropPendingFrames();

  int width_;
  int height_;
  VTEncoderConfiguration configuration_;
  x264_t* encoder_ = nullptr;
  bool reorders_ = false;
  x264_picture_t picture_;
  x264_picture_t output_;
  // The planar picture converted frames are drawn into.
  std::vector<std::uint8_t> planar_;
  VTImagePlanes planarPlanes_;
  VTPixelTransfer transfer_;
  VTFrameClock clock_;
  std::shared_ptr<const CMFormatDescription> formatDescription_;
  // The encoder's own SEI from its headers, length-prefixed; it leads the first sample.
  std::vector<std::uint8_t> leadingUnits_;
  std::vector<PendingFrame> pending_;
};

}  // namespace platform
