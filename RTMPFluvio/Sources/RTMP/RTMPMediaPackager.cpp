#include "RTMPFluvio/Sources/RTMP/RTMPMediaPackager.hpp"

#include <limits>

#include "Fluvio/Sources/Extension/CMFormatDescriptionExtension.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

namespace {

// The header goes out whole the first time on its chunk stream and as a
// delta of 0 after a change of format.
RTMPChunkType sequenceHeaderChunkType(bool hadFormat) noexcept {
  return hadFormat ? RTMPChunkType::one : RTMPChunkType::zero;
}

bool sameFormat(const std::shared_ptr<platform::AVAudioFormat>& lhs,
                const std::shared_ptr<platform::AVAudioFormat>& rhs) {
  return lhs == rhs || (lhs && rhs && *lhs == *rhs);
}

bool sameFormat(const std::shared_ptr<const platform::CMFormatDescription>& lhs,
                const std::shared_ptr<const platform::CMFormatDescription>& rhs) {
  return lhs == rhs || (lhs && rhs && *lhs == *rhs);
}

}  // namespace

void RTMPMediaPackager::reset() {
  audioTimestamp_.clear();
  videoTimestamp_.clear();
  audioFormat_.reset();
  videoFormat_.reset();
}

RTMPMediaPackage RTMPMediaPackager::package(const std::shared_ptr<platform::AVAudioCompressedBuffer>& audioBuffer,
                                            const platform::AVAudioTime& when) {
  RTMPMediaPackage package;
  if (!audioBuffer) return package;
  std::uint32_t delta = 0;
  try {
    delta = audioTimestamp_.update(when);
  } catch (const RTMPTimestamp::Error& error) {
    TP_WARN(logger(), "append(_:when:)", " ", error.what());
    return package;
  }
  package.sequenceHeader = audioSequenceHeader(audioBuffer->format());
  if (auto body = RTMPAudioMessage::make(streamId_, delta, audioBuffer)) {
    package.body = RTMPOutgoingMedia{RTMPChunkType::one, RTMPChunkStreamId::audio, std::move(*body)};
  }
  return package;
}

RTMPMediaPackage RTMPMediaPackager::package(const platform::CMSampleBuffer& sampleBuffer) {
  RTMPMediaPackage package;
  const auto decodeTime = sampleBuffer.decodeTimeStamp();
  const auto time = decodeTime.isValid() ? decodeTime : sampleBuffer.presentationTimeStamp();
  std::uint32_t delta = 0;
  try {
    delta = videoTimestamp_.update(time);
  } catch (const RTMPTimestamp::Error& error) {
    TP_WARN(logger(), "append(_:)", " ", error.what());
    return package;
  }
  if (frameCount_ < std::numeric_limits<std::uint16_t>::max()) ++frameCount_;
  package.sequenceHeader = videoSequenceHeader(sampleBuffer.formatDescription());
  if (auto body = RTMPVideoMessage::make(streamId_, delta, &sampleBuffer)) {
    package.body = RTMPOutgoingMedia{RTMPChunkType::one, RTMPChunkStreamId::video, std::move(*body)};
  }
  return package;
}

std::uint16_t RTMPMediaPackager::takeFrameCount() noexcept {
  const auto count = frameCount_;
  frameCount_ = 0;
  return count;
}

std::optional<RTMPOutgoingMedia> RTMPMediaPackager::audioSequenceHeader(
    const std::shared_ptr<platform::AVAudioFormat>& format) {
  if (sameFormat(format, audioFormat_)) return std::nullopt;
  const bool hadFormat = audioFormat_ != nullptr;
  audioFormat_ = format;
  if (!isPublishing_ || !format) return std::nullopt;
  auto header = RTMPAudioMessage::make(streamId_, 0, format->formatDescription());
  if (!header) return std::nullopt;
  return RTMPOutgoingMedia{sequenceHeaderChunkType(hadFormat), RTMPChunkStreamId::audio, std::move(*header)};
}

std::optional<RTMPOutgoingMedia> RTMPMediaPackager::videoSequenceHeader(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (sameFormat(formatDescription, videoFormat_)) return std::nullopt;
  const bool hadFormat = videoFormat_ != nullptr;
  videoFormat_ = formatDescription;
  if (!isPublishing_ || !formatDescription) return std::nullopt;
  auto header = RTMPVideoMessage::make(streamId_, 0, formatDescription);
  if (!header) return std::nullopt;
  return RTMPOutgoingMedia{sequenceHeaderChunkType(hadFormat), RTMPChunkStreamId::video, std::move(*header)};
}

}  // namespace rtmpfluvio
