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
#include "Platform/VideoToolbox/VTLibav.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {

// One libavcodec encoder (libx264 or libx265) and what it needs around it: the
// picture it converts frames into, the frames in flight and the format
// description of its parameter sets. Used by one thread at a time.
class VTVideoEncoder {
 public:
  using OutputHandler =
      std::function<void(OSStatus status, VTEncodeInfoFlags infoFlags, std::shared_ptr<CMSampleBuffer> sampleBuffer)>;

  // Odd sides are encoded one pixel smaller: 4:2:0 needs even ones.
  VTVideoEncoder(std::int32_t width, std::int32_t height);

  bool isOpen() const noexcept { return context_ != nullptr; }
  OSStatus open(const VTEncoderConfiguration& configuration);
  // Encodes one frame with `configuration`; a configuration other than the
  // running one reopens the encoder first. Each frame's handler is called
  // once, with its sample or as dropped.
  void encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp, const CMTime& duration,
              const VTEncoderConfiguration& configuration, OutputHandler outputHandler);
  // Emits every frame the encoder holds and closes it; the next frame reopens it.
  void drain();

 private:
  struct PendingFrame {
    CMTime presentationTimeStamp;
    CMTime duration;
    OutputHandler outputHandler;
  };

  void setRates(const VTEncoderConfiguration& configuration);
  bool needsKeyFrame(const CMTime& presentationTimeStamp, const CMTime& duration) const;
  std::int64_t encoderTimeStamp(const CMTime& presentationTimeStamp);
  void receivePackets();
  void emit(const AVPacket& packet);
  void dropPendingFrames();

  int width_;
  int height_;
  VTEncoderConfiguration configuration_;
  VTCodecContextHandle context_;
  VTFrameHandle picture_;
  VTPacketHandle packet_;
  VTPixelTransfer transfer_;
  std::shared_ptr<const CMFormatDescription> formatDescription_;
  std::map<std::int64_t, PendingFrame> pending_;
  // The units of the packet being emitted; kept to spare an allocation per frame.
  std::vector<std::span<const std::uint8_t>> units_;
  std::optional<std::int64_t> lastTimeStamp_;
  std::optional<double> lastKeyFrameSeconds_;
};

}  // namespace platform
