#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "RTMPFluvio/Sources/RTMP/FLVTagBody.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// Audio in an FLV-style body: AAC in the legacy form, Opus in the enhanced
// form with its FourCC.
class RTMPAudioMessage final : public RTMPMessage {
 public:
  RTMPAudioMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload) noexcept
      : RTMPMessage(streamId, timestamp, std::move(payload)) {}

  // The sequence header: for Opus the identification header, for anything
  // else the AudioSpecificConfig of the description. None when the
  // description gives neither.
  static std::optional<RTMPAudioMessage> make(std::uint32_t streamId, std::uint32_t timestamp,
                                              const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  // One encoded frame: the buffer's valid bytes behind the Opus or AAC header.
  static std::optional<RTMPAudioMessage> make(std::uint32_t streamId, std::uint32_t timestamp,
                                              const std::shared_ptr<const platform::AVAudioCompressedBuffer>& audioBuffer);

  RTMPMessageType type() const noexcept override { return RTMPMessageType::audio; }

  // Unknown for an empty payload or a format that has no case.
  SoundFormat soundFormat() const noexcept;
  // AAC in the legacy form, Opus in the enhanced form.
  bool isSupportedCodec() const noexcept;
  // Sequence header or frame of an AAC or enhanced body; none for other
  // packet types and bodies too short to say.
  std::optional<flv::AudioPacketType> packetType() const noexcept;
  // What the legacy AAC header byte tells: rate, channels, 1,024 frames a
  // packet. None for anything but a non-empty AAC body.
  std::optional<platform::AudioStreamBasicDescription> audioStreamBasicDescription() const;
  // From the AudioSpecificConfig of an AAC sequence header or the header byte
  // of an AAC frame, or from the identification header of an Opus sequence
  // start (a frame alone does not tell Opus's format); null otherwise.
  std::shared_ptr<platform::AVAudioFormat> makeAudioFormat() const;
  // Puts the frame behind the header into `buffer` as its one packet. False,
  // leaving the buffer alone, without a buffer or frame, or when the frame
  // exceeds the buffer's capacity.
  bool copyPayload(platform::AVAudioCompressedBuffer* buffer) const;

 private:
  // The FourCC of an enhanced body; none when too short.
  std::optional<platform::FourCharCode> fourCC() const noexcept;
  // Header bytes in front of the frame: two for AAC, five for the enhanced
  // form, one otherwise.
  std::size_t headerSize() const noexcept;
};

}  // namespace rtmpfluvio
