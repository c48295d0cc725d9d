#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"

#include <algorithm>
#include <span>

#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"
#include "RTMPFluvio/Sources/Codec/OpusHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = RTMPMessage::Bytes;

constexpr std::size_t kAACHeaderSize = 2;
constexpr std::size_t kLegacyHeaderSize = 1;
constexpr std::size_t kEnhancedHeaderSize = 5;

// Opus decodes at these rates only; the header's rate is that of the source.
constexpr double kOpusDecodeRates[] = {8'000, 12'000, 16'000, 24'000, 48'000};
constexpr double kOpusFullRate = 48'000;
constexpr double kOpusPacketSeconds = 0.02;

bool isOpus(const platform::CMFormatDescription* formatDescription) {
  return formatDescription && formatDescription->mediaSubType() == platform::kAudioFormatOpus;
}

Bytes opusHeader(flv::AudioPacketType packetType, std::size_t bodySize) {
  Bytes bytes;
  bytes.reserve(kEnhancedHeaderSize + bodySize);
  bytes.push_back(flv::enhancedAudioByte(static_cast<std::uint8_t>(packetType)));
  appendBigEndian(bytes, flv::kOpusFourCC, 4);
  return bytes;
}

Bytes aacHeader(flv::AACPacketType packetType, std::size_t bodySize) {
  Bytes bytes;
  bytes.reserve(kAACHeaderSize + bodySize);
  bytes.push_back(flv::kAACSoundByte);
  bytes.push_back(static_cast<std::uint8_t>(packetType));
  return bytes;
}

// The Opus stream an identification header describes, with the header as
// the decoder's magic cookie, decoded at the source's rate when Opus has it.
std::shared_ptr<platform::AVAudioFormat> opusFormat(std::span<const std::uint8_t> header) {
  const auto info = readOpusHeader(header);
  if (!info) return nullptr;
  const std::uint32_t inputRate = info->inputSampleRate;
  const std::uint8_t channels = info->channelCount;
  const bool decodable = std::find(std::begin(kOpusDecodeRates), std::end(kOpusDecodeRates), inputRate) !=
                         std::end(kOpusDecodeRates);
  const double rate = decodable ? inputRate : kOpusFullRate;
  const platform::AudioStreamBasicDescription description{
      rate, platform::kAudioFormatOpus, 0, 0, static_cast<std::uint32_t>(rate * kOpusPacketSeconds), 0, channels, 0};
  auto formatDescription =
      platform::CMFormatDescription::makeAudio(description, std::nullopt, {header.begin(), header.end()});
  return formatDescription ? platform::AVAudioFormat::make(std::move(formatDescription.value)) : nullptr;
}

}  // namespace

std::optional<RTMPAudioMessage> RTMPAudioMessage::make(
    std::uint32_t streamId, std::uint32_t timestamp,
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (isOpus(formatDescription.get())) {
    const auto* description = formatDescription->audioStreamBasicDescription();
    if (!description) return std::nullopt;
    const auto header = makeOpusHeader(description->mChannelsPerFrame, description->mSampleRate);
    if (!header) return std::nullopt;
    Bytes payload = opusHeader(flv::AudioPacketType::sequenceStart, header->size());
    payload.insert(payload.end(), header->begin(), header->end());
    return RTMPAudioMessage(streamId, timestamp, std::move(payload));
  }
  const auto config = fluvio::AudioSpecificConfig::make(formatDescription);
  if (!config) return std::nullopt;
  const auto bytes = config->bytes();
  Bytes payload = aacHeader(flv::AACPacketType::sequenceHeader, bytes.size());
  payload.insert(payload.end(), bytes.begin(), bytes.end());
  return RTMPAudioMessage(streamId, timestamp, std::move(payload));
}

std::optional<RTMPAudioMessage> RTMPAudioMessage::make(
    std::uint32_t streamId, std::uint32_t timestamp,
    const std::shared_ptr<const platform::AVAudioCompressedBuffer>& audioBuffer) {
  if (!audioBuffer) return std::nullopt;
  const auto* frame = static_cast<const std::uint8_t*>(audioBuffer->data());
  const std::span<const std::uint8_t> bytes(frame, audioBuffer->byteLength());
  const auto& format = audioBuffer->format();
  Bytes payload = isOpus(format ? format->formatDescription().get() : nullptr)
                      ? opusHeader(flv::AudioPacketType::codedFrames, bytes.size())
                      : aacHeader(flv::AACPacketType::raw, bytes.size());
  payload.insert(payload.end(), bytes.begin(), bytes.end());
  return RTMPAudioMessage(streamId, timestamp, std::move(payload));
}

SoundFormat RTMPAudioMessage::soundFormat() const noexcept {
  if (payload().empty()) return SoundFormat::unknown;
  return fromRawValue<SoundFormat>(payload()[0] >> 4).value_or(SoundFormat::unknown);
}

std::optional<platform::FourCharCode> RTMPAudioMessage::fourCC() const noexcept {
  if (soundFormat() != SoundFormat::exHeader || payload().size() < kEnhancedHeaderSize) return std::nullopt;
  return readBigEndian(std::span(payload()).subspan(1), 4);
}

bool RTMPAudioMessage::isSupportedCodec() const noexcept {
  return soundFormat() == SoundFormat::aac || fourCC() == flv::kOpusFourCC;
}

std::optional<flv::AudioPacketType> RTMPAudioMessage::packetType() const noexcept {
  std::uint8_t type = 0;
  if (soundFormat() == SoundFormat::exHeader) {
    type = payload()[0] & 0x0F;
  } else if (soundFormat() == SoundFormat::aac && payload().size() >= 2) {
    // The legacy AAC types share their numbers with the enhanced ones.
    type = payload()[1];
  } else {
    return std::nullopt;
  }
  for (const auto known : {flv::AudioPacketType::sequenceStart, flv::AudioPacketType::codedFrames}) {
    if (type == static_cast<std::uint8_t>(known)) return known;
  }
  return std::nullopt;
}

std::size_t RTMPAudioMessage::headerSize() const noexcept {
  switch (soundFormat()) {
    case SoundFormat::aac: return kAACHeaderSize;
    case SoundFormat::exHeader: return kEnhancedHeaderSize;
    default: return kLegacyHeaderSize;
  }
}

std::optional<platform::AudioStreamBasicDescription> RTMPAudioMessage::audioStreamBasicDescription() const {
  if (soundFormat() != SoundFormat::aac) return std::nullopt;
  static constexpr double kSampleRates[] = {5500, 11025, 22050, 44100};
  const std::uint8_t soundByte = payload()[0];
  platform::AudioStreamBasicDescription description;
  description.mSampleRate = kSampleRates[(soundByte >> 2) & 0x03];
  description.mFormatID = platform::kAudioFormatMPEG4AAC;
  description.mFormatFlags = 1;
  description.mFramesPerPacket = 1024;
  description.mChannelsPerFrame = (soundByte & 0x01) != 0 ? 2 : 1;
  return description;
}

std::shared_ptr<platform::AVAudioFormat> RTMPAudioMessage::makeAudioFormat() const {
  if (fourCC() == flv::kOpusFourCC) {
    return packetType() == flv::AudioPacketType::sequenceStart
               ? opusFormat(std::span(payload()).subspan(kEnhancedHeaderSize))
               : nullptr;
  }
  if (payload().size() < 2) return nullptr;
  switch (payload()[1]) {
    case static_cast<std::uint8_t>(flv::AACPacketType::raw): {
      const auto description = audioStreamBasicDescription();
      return description ? platform::AVAudioFormat::make(*description) : nullptr;
    }
    case static_cast<std::uint8_t>(flv::AACPacketType::sequenceHeader): {
      const std::size_t header = std::min(headerSize(), payload().size());
      const auto config = fluvio::AudioSpecificConfig::make(std::span(payload()).subspan(header));
      return config ? config->makeAudioFormat() : nullptr;
    }
    default:
      return nullptr;
  }
}

bool RTMPAudioMessage::copyPayload(platform::AVAudioCompressedBuffer* buffer) const {
  const std::size_t header = headerSize();
  if (!buffer || payload().size() <= header) return false;
  const std::size_t length = payload().size() - header;
  if (length > buffer->byteCapacity()) return false;
  if (auto* descriptions = buffer->packetDescriptions()) {
    descriptions[0] = {0, 0, static_cast<std::uint32_t>(length)};
  }
  buffer->setPacketCount(1);
  buffer->setByteLength(static_cast<std::uint32_t>(length));
  std::copy_n(payload().begin() + static_cast<std::ptrdiff_t>(header), length, static_cast<std::uint8_t*>(buffer->data()));
  return true;
}

}  // namespace rtmpfluvio
