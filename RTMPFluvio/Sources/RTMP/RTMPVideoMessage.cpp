#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

#include <cmath>
#include <span>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/Util/DataBlockBuffer.hpp"
#include "RTMPFluvio/Sources/Codec/AVCDecoderConfigurationRecord.hpp"
#include "RTMPFluvio/Sources/Codec/ConfigurationBox.hpp"
#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"
#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = RTMPMessage::Bytes;

// The largest offset a signed 24-bit field holds.
constexpr std::int32_t kMaxCompositionTime = 0x7FFFFF;

std::uint8_t frameTypeBits(flv::FrameType frameType) { return static_cast<std::uint8_t>(frameType) << 4; }

// The header of a body in front of `bodySize` bytes, its composition time
// offset to follow when the packet type carries one.
Bytes videoHeader(platform::CMVideoCodecType codec, flv::FrameType frameType, bool isSequenceHeader,
                  std::size_t bodySize) {
  Bytes bytes;
  bytes.reserve(flv::kEnhancedCodedFramesHeaderSize + bodySize);
  if (codec == platform::kCMVideoCodecType_H264) {
    bytes.push_back(frameTypeBits(frameType) | flv::kAVCCodecId);
    bytes.push_back(static_cast<std::uint8_t>(isSequenceHeader ? flv::AVCPacketType::sequenceHeader
                                                               : flv::AVCPacketType::nalUnits));
    // A sequence header's composition time is 0.
    if (isSequenceHeader) appendBigEndian(bytes, 0, 3);
  } else {
    const auto packetType = isSequenceHeader ? flv::VideoPacketType::sequenceStart : flv::VideoPacketType::codedFrames;
    bytes.push_back(flv::kEnhancedVideoBit | frameTypeBits(frameType) | static_cast<std::uint8_t>(packetType));
    appendBigEndian(bytes, flv::kHEVCFourCC, 4);
  }
  return bytes;
}

bool isSupported(const platform::CMFormatDescription* formatDescription) {
  return formatDescription && (formatDescription->mediaSubType() == platform::kCMVideoCodecType_H264 ||
                               formatDescription->mediaSubType() == platform::kCMVideoCodecType_HEVC);
}

// Milliseconds from decoding to presentation, so a player shows the picture
// with the sound captured at the same time; 0 without a decode time.
std::int32_t compositionTimeOf(const platform::CMSampleBuffer& sampleBuffer) {
  const platform::CMTime decodeTime = sampleBuffer.decodeTimeStamp();
  if (!decodeTime.isValid()) return 0;
  const double offset = std::round((sampleBuffer.presentationTimeStamp() - decodeTime).seconds() * 1000);
  if (!(offset > 0)) return 0;
  return offset >= kMaxCompositionTime ? kMaxCompositionTime : static_cast<std::int32_t>(offset);
}

std::int32_t signed24(std::span<const std::uint8_t> bytes) {
  const std::uint32_t value = readBigEndian(bytes, 3);
  return static_cast<std::int32_t>((value & 0x800000) != 0 ? value | 0xFF000000 : value);
}

}  // namespace

std::optional<RTMPVideoMessage> RTMPVideoMessage::make(
    std::uint32_t streamId, std::uint32_t timestamp,
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (!isSupported(formatDescription.get())) return std::nullopt;
  const auto record = configurationBox(*formatDescription);
  if (!record) return std::nullopt;
  Bytes payload = videoHeader(formatDescription->mediaSubType(), flv::FrameType::key, true, record->size());
  payload.insert(payload.end(), record->begin(), record->end());
  return RTMPVideoMessage(streamId, timestamp, std::move(payload));
}

std::optional<RTMPVideoMessage> RTMPVideoMessage::make(std::uint32_t streamId, std::uint32_t timestamp,
                                                       const platform::CMSampleBuffer* sampleBuffer) {
  if (!sampleBuffer || !sampleBuffer->dataBuffer() || !isSupported(sampleBuffer->formatDescription().get())) {
    return std::nullopt;
  }
  const auto data = sampleBuffer->dataBuffer()->data();
  const auto frameType = fluvio::isNotSync(*sampleBuffer) ? flv::FrameType::inter : flv::FrameType::key;
  Bytes payload = videoHeader(sampleBuffer->formatDescription()->mediaSubType(), frameType, false, data.size());
  appendBigEndian(payload, static_cast<std::uint32_t>(compositionTimeOf(*sampleBuffer)), 3);
  payload.insert(payload.end(), data.begin(), data.end());
  return RTMPVideoMessage(streamId, timestamp, std::move(payload));
}

std::optional<platform::FourCharCode> RTMPVideoMessage::fourCC() const noexcept {
  if (!isEnhanced() || payload().size() < flv::kEnhancedHeaderSize) return std::nullopt;
  return readBigEndian(std::span(payload()).subspan(1), 4);
}

bool RTMPVideoMessage::isSupportedCodec() const noexcept {
  if (payload().empty()) return false;
  if (isEnhanced()) return fourCC() == flv::kHEVCFourCC;
  return (payload()[0] & 0x0F) == flv::kAVCCodecId;
}

std::int32_t RTMPVideoMessage::compositionTime() const noexcept {
  const std::span<const std::uint8_t> bytes(payload());
  if (!isEnhanced()) return bytes.size() >= flv::kLegacyVideoHeaderSize ? signed24(bytes.subspan(2)) : 0;
  const bool carriesTime = (bytes[0] & 0x0F) == static_cast<std::uint8_t>(flv::VideoPacketType::codedFrames);
  return carriesTime && bytes.size() >= flv::kEnhancedCodedFramesHeaderSize ? signed24(bytes.subspan(5)) : 0;
}

std::size_t RTMPVideoMessage::dataOffset() const noexcept {
  if (!isEnhanced()) return flv::kLegacyVideoHeaderSize;
  const bool carriesTime = (payload()[0] & 0x0F) == static_cast<std::uint8_t>(flv::VideoPacketType::codedFrames);
  return carriesTime ? flv::kEnhancedCodedFramesHeaderSize : flv::kEnhancedHeaderSize;
}

std::shared_ptr<const platform::CMFormatDescription> RTMPVideoMessage::makeFormatDescription() const {
  if (!isSupportedCodec() || payload().size() < flv::kLegacyVideoHeaderSize) return nullptr;
  // Both forms put the record at the same offset.
  const auto record = std::span(payload()).subspan(flv::kLegacyVideoHeaderSize);
  if (isEnhanced()) {
    HEVCDecoderConfigurationRecord hevc;
    hevc.setData(record);
    return hevc.makeFormatDescription();
  }
  AVCDecoderConfigurationRecord avc;
  avc.setData(record);
  return avc.makeFormatDescription();
}

std::shared_ptr<platform::CMSampleBuffer> RTMPVideoMessage::makeSampleBuffer(
    const platform::CMTime& decodeTime,
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) const {
  if (payload().empty()) return nullptr;
  auto dataBuffer = fluvio::makeBlockBuffer(payload(), dataOffset());
  if (!dataBuffer) return nullptr;
  const std::size_t sampleSize = dataBuffer->dataLength();
  const std::int32_t offset = compositionTime();
  const platform::CMSampleTimingInfo timing{
      platform::CMTime::invalid,
      offset != 0 ? decodeTime + platform::CMTime::make(offset, 1000) : decodeTime,
      offset != 0 ? decodeTime : platform::CMTime::invalid,
  };
  auto sampleBuffer = platform::CMSampleBuffer::make(std::move(dataBuffer), true, formatDescription, 1, {&timing, 1},
                                                     {&sampleSize, 1});
  if (!sampleBuffer) return nullptr;
  const auto frameType = static_cast<flv::FrameType>((payload()[0] >> 4) & 0x07);
  fluvio::setNotSync(*sampleBuffer.value, frameType != flv::FrameType::key);
  return sampleBuffer.value;
}

}  // namespace rtmpfluvio
