#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "RTMPFluvio/Sources/RTMP/FLVTagBody.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// Video in an FLV-style body: H.264 in the legacy form, HEVC in the enhanced
// form with its FourCC.
class RTMPVideoMessage final : public RTMPMessage {
 public:
  RTMPVideoMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload) noexcept
      : RTMPMessage(streamId, timestamp, std::move(payload)) {}

  // The sequence header: the description's avcC or hvcC record behind the
  // H.264 or HEVC header. None for other codecs or without a record.
  static std::optional<RTMPVideoMessage> make(std::uint32_t streamId, std::uint32_t timestamp,
                                              const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  // One encoded frame, key or inter by its not-sync attachment. None without
  // data or for a codec other than H.264 and HEVC.
  static std::optional<RTMPVideoMessage> make(std::uint32_t streamId, std::uint32_t timestamp,
                                              const platform::CMSampleBuffer* sampleBuffer);

  RTMPMessageType type() const noexcept override { return RTMPMessageType::video; }

  using RTMPMessage::setPayload;

  // H.264 in the legacy form (codec id 7), HEVC in the enhanced form.
  bool isSupportedCodec() const noexcept;
  // Milliseconds; 0 when the body carries none or is too short for it.
  std::int32_t compositionTime() const noexcept;
  // From the decoder configuration record of a sequence header; null for
  // other bodies and for records without the parameter sets it needs.
  std::shared_ptr<const platform::CMFormatDescription> makeFormatDescription() const;
  // The frame as one sample decoded at `decodeTime` and presented
  // compositionTime() later, not-sync unless a key frame. Null when the body
  // holds no frame data or the platform refuses it.
  std::shared_ptr<platform::CMSampleBuffer> makeSampleBuffer(
      const platform::CMTime& decodeTime,
      const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) const;

 private:
  bool isEnhanced() const noexcept { return !payload().empty() && (payload()[0] & flv::kEnhancedVideoBit) != 0; }
  // The FourCC of an enhanced body; none when too short.
  std::optional<platform::FourCharCode> fourCC() const noexcept;
  // Where the frame data begins.
  std::size_t dataOffset() const noexcept;
};

}  // namespace rtmpfluvio
