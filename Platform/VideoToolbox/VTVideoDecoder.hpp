#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBufferPool.hpp"
#include "Platform/VideoToolbox/VTLibav.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {

// One libavcodec decoder (h264 or hevc) fed length-prefixed samples, and the
// pool its pictures are converted into. Used by one thread at a time.
class VTVideoDecoder {
 public:
  using OutputHandler = std::function<void(OSStatus status, VTDecodeInfoFlags infoFlags,
                                           std::shared_ptr<CVPixelBuffer> imageBuffer,
                                           const CMTime& presentationTimeStamp, const CMTime& presentationDuration)>;

  // kVTVideoDecoderUnsupportedDataFormatErr for anything but H.264 or HEVC with
  // its configuration atom, kVTCouldNotFindVideoDecoderErr without a decoder.
  OSStatus open(const CMFormatDescription& formatDescription, const CVPixelBufferAttributes& output);
  // Each sample's handler is called once: with its picture, as dropped, or
  // with the failure.
  OSStatus decode(const CMSampleBuffer& sampleBuffer, OutputHandler outputHandler);
  // Emits the pictures held back for reordering; decoding may go on afterwards.
  void flush();

 private:
  struct PendingSample {
    CMTime presentationTimeStamp;
    CMTime duration;
    OutputHandler outputHandler;
  };

  void receiveFrames();
  void emit(AVFrame& frame);
  std::shared_ptr<CVPixelBuffer> convert(AVFrame& frame);
  void dropOldestBeyond(std::size_t count);

  CodecContextHandle context_;
  FrameHandle frame_;
  PacketHandle packet_;
  VTPixelTransfer transfer_;
  CVPixelBufferAttributes output_;
  std::shared_ptr<CVPixelBufferPool> pool_;
  std::map<std::int64_t, PendingSample> pending_;
  std::int64_t nextTimeStamp_ = 0;
};

}  // namespace platform
