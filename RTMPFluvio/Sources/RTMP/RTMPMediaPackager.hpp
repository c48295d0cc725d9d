#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPTimestamp.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace rtmpfluvio {

// One media message with the chunk stream and first header form it leaves on.
struct RTMPOutgoingMedia {
  RTMPChunkType chunkType;
  RTMPChunkStreamId chunkStreamId;
  std::variant<RTMPAudioMessage, RTMPVideoMessage> message;
};

// What one encoded buffer becomes: the sequence header of its format when the
// format changed during a publication, then its body. The header, when there
// is one, must reach the wire first.
struct RTMPMediaPackage {
  std::optional<RTMPOutgoingMedia> sequenceHeader;
  std::optional<RTMPOutgoingMedia> body;
};

// Turns encoded audio and video into RTMP messages: each body carries the
// milliseconds since the previous accepted buffer of its kind, a buffer whose
// time does not advance is dropped, and a change of format during a
// publication is announced by a sequence header (a full header the first time
// on its chunk stream, a delta header after).
//
// Not synchronised: the owning stream makes every call from its own strand.
class RTMPMediaPackager {
 public:
  // A new publication: both clocks start again at the next buffer, and the
  // next buffer of each kind is preceded by its sequence header.
  void reset();
  // Sequence headers go out only while publishing.
  void setPublishing(bool isPublishing) noexcept { isPublishing_ = isPublishing; }
  void setStreamId(std::uint32_t streamId) noexcept { streamId_ = streamId; }

  // Encoded audio; nothing for a buffer whose time does not advance (logged)
  // or that cannot be carried.
  RTMPMediaPackage package(const std::shared_ptr<platform::AVAudioCompressedBuffer>& audioBuffer,
                           const platform::AVAudioTime& when);
  // Encoded video, timed by its decode time, or its presentation time when it
  // has no decode time.
  RTMPMediaPackage package(const platform::CMSampleBuffer& sampleBuffer);

  // Video bodies accepted since the last call, at most 65,535.
  std::uint16_t takeFrameCount() noexcept;

  const std::shared_ptr<platform::AVAudioFormat>& audioFormat() const noexcept { return audioFormat_; }
  const std::shared_ptr<const platform::CMFormatDescription>& videoFormat() const noexcept { return videoFormat_; }

 private:
  std::optional<RTMPOutgoingMedia> audioSequenceHeader(const std::shared_ptr<platform::AVAudioFormat>& format);
  std::optional<RTMPOutgoingMedia> videoSequenceHeader(
      const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);

  bool isPublishing_ = false;
  std::uint32_t streamId_ = 0;
  std::uint16_t frameCount_ = 0;
  RTMPTimestamp audioTimestamp_;
  RTMPTimestamp videoTimestamp_;
  std::shared_ptr<platform::AVAudioFormat> audioFormat_;
  std::shared_ptr<const platform::CMFormatDescription> videoFormat_;
};

}  // namespace rtmpfluvio
