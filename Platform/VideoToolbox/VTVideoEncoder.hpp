#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"
#include "Platform/VideoToolbox/VTFrameClock.hpp"
#include "Platform/VideoToolbox/VTFrameEncoder.hpp"
#include "Platform/VideoToolbox/VTLibav.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {

// One libavcodec encoder (libx264 or libx265) and what it needs around it: the
// picture it converts frames into, the frames in flight and the format
// description of its parameter sets. Used by one thread at a time.
class VTVideoEncoder final : public VTFrameEncoder {
 public:
  // Odd sides are encoded one pixel smaller: 4:2:0 needs even ones.
  VTVideoEncoder(std::int32_t width, std::int32_t height);

  bool isOpen() const noexcept { return context_ != nullptr; }
  OSStatus open(const VTEncoderConfiguration& configuration) override;
  void encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp, const CMTime& duration,
              const VTEncoderConfiguration& configuration, OutputHandler outputHandler) override;
  void requestKeyFrame() override { clock_.requestKeyFrame(); }
  void drain() override;

 private:
  struct PendingFrame {
    CMTime presentationTimeStamp;
    CMTime duration;
    OutputHandler outputHandler;
  };

  void setRates(const VTEncoderConfiguration& configuration);
  void receivePackets();
  void emit(const AVPacket& packet);
  void dropPendingFrames();

  int width_;
  int height_;
  VTEncoderConfiguration configuration_;
  CodecContextHandle context_;
  FrameHandle picture_;
  PacketHandle packet_;
  VTPixelTransfer transfer_;
  std::shared_ptr<const CMFormatDescription> formatDescription_;
  std::map<std::int64_t, PendingFrame> pending_;
  // The units of the packet being emitted; kept to spare an allocation per frame.
  std::vector<std::span<const std::uint8_t>> units_;
  VTFrameClock clock_;
};

}  // namespace platform
