#include "Platform/AVFAudio/AVAudioFormat.hpp"

#include <cstdint>
#include <limits>
#include <optional>

namespace platform {
namespace {

constexpr std::uint32_t bytesPerSample(AVAudioCommonFormat format) noexcept {
  switch (format) {
    case AVAudioCommonFormat::pcmFormatInt16:
      return 2;
    case AVAudioCommonFormat::pcmFormatFloat32:
    case AVAudioCommonFormat::pcmFormatInt32:
      return 4;
    case AVAudioCommonFormat::pcmFormatFloat64:
      return 8;
    case AVAudioCommonFormat::otherFormat:
      break;
  }
  return 0;
}

constexpr bool isFloat(AVAudioCommonFormat format) noexcept {
  return format == AVAudioCommonFormat::pcmFormatFloat32 || format == AVAudioCommonFormat::pcmFormatFloat64;
}

std::optional<AudioStreamBasicDescription> pcmDescription(AVAudioCommonFormat commonFormat, double sampleRate,
                                                          AVAudioChannelCount channels, bool interleaved) {
  const std::uint32_t sampleBytes = bytesPerSample(commonFormat);
  if (sampleBytes == 0 || channels == 0 || channels > std::numeric_limits<std::uint32_t>::max() / sampleBytes) {
    return std::nullopt;
  }
  AudioStreamBasicDescription description;
  description.mSampleRate = sampleRate;
  description.mFormatID = kAudioFormatLinearPCM;
  description.mFormatFlags = (isFloat(commonFormat) ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
                             kAudioFormatFlagIsPacked | (interleaved ? 0 : kAudioFormatFlagIsNonInterleaved);
  description.mBytesPerFrame = interleaved ? sampleBytes * channels : sampleBytes;
  description.mBytesPerPacket = description.mBytesPerFrame;
  description.mFramesPerPacket = 1;
  description.mChannelsPerFrame = channels;
  description.mBitsPerChannel = sampleBytes * 8;
  return description;
}

// The common format a native-endian PCM description matches, if any.
AVAudioCommonFormat commonFormatOf(const AudioStreamBasicDescription& description) noexcept {
  if (description.mFormatID != kAudioFormatLinearPCM || (description.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0 ||
      description.mChannelsPerFrame == 0) {
    return AVAudioCommonFormat::otherFormat;
  }
  const std::uint32_t samplesPerFrame = description.isNonInterleaved() ? 1 : description.mChannelsPerFrame;
  const bool floating = (description.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
  for (const auto candidate : {AVAudioCommonFormat::pcmFormatFloat32, AVAudioCommonFormat::pcmFormatFloat64,
                               AVAudioCommonFormat::pcmFormatInt16, AVAudioCommonFormat::pcmFormatInt32}) {
    const std::uint32_t sampleBytes = bytesPerSample(candidate);
    if (isFloat(candidate) == floating && description.mBitsPerChannel == sampleBytes * 8 &&
        std::uint64_t{description.mBytesPerFrame} == std::uint64_t{sampleBytes} * samplesPerFrame &&
        (floating || (description.mFormatFlags & kAudioFormatFlagIsSignedInteger) != 0)) {
      return candidate;
    }
  }
  return AVAudioCommonFormat::otherFormat;
}

// The audio format description checks the rest of the stream description.
bool isAcceptable(const AudioStreamBasicDescription& description, const AVAudioChannelLayout* channelLayout) noexcept {
  return description.mChannelsPerFrame != 0 &&
         (channelLayout == nullptr || channelLayout->channelCount() == description.mChannelsPerFrame);
}

}  // namespace

AVAudioFormat::AVAudioFormat(const AudioStreamBasicDescription& streamDescription,
                             std::shared_ptr<AVAudioChannelLayout> channelLayout,
                             std::shared_ptr<const CMFormatDescription> formatDescription)
    : streamDescription_(streamDescription),
      channelLayout_(std::move(channelLayout)),
      formatDescription_(std::move(formatDescription)),
      commonFormat_(commonFormatOf(streamDescription)) {}

std::shared_ptr<AVAudioFormat> AVAudioFormat::make(AVAudioCommonFormat commonFormat, double sampleRate,
                                                   AVAudioChannelCount channels, bool interleaved) {
  const auto description = pcmDescription(commonFormat, sampleRate, channels, interleaved);
  return description ? make(*description) : nullptr;
}

std::shared_ptr<AVAudioFormat> AVAudioFormat::make(AVAudioCommonFormat commonFormat, double sampleRate,
                                                   bool interleaved,
                                                   std::shared_ptr<AVAudioChannelLayout> channelLayout) {
  if (!channelLayout) {
    return nullptr;
  }
  const auto description = pcmDescription(commonFormat, sampleRate, channelLayout->channelCount(), interleaved);
  return description ? make(*description, std::move(channelLayout)) : nullptr;
}

std::shared_ptr<AVAudioFormat> AVAudioFormat::make(const AudioStreamBasicDescription& streamDescription,
                                                   std::shared_ptr<AVAudioChannelLayout> channelLayout) {
  if (!isAcceptable(streamDescription, channelLayout.get())) {
    return nullptr;
  }
  std::optional<AudioChannelLayout> layout;
  if (channelLayout) {
    layout = channelLayout->layout();
  }
  auto formatDescription = CMFormatDescription::makeAudio(streamDescription, layout);
  if (!formatDescription) {
    return nullptr;
  }
  return std::shared_ptr<AVAudioFormat>(
      new AVAudioFormat(streamDescription, std::move(channelLayout), std::move(formatDescription.value)));
}

std::shared_ptr<AVAudioFormat> AVAudioFormat::make(std::shared_ptr<const CMFormatDescription> cmAudioFormatDescription) {
  if (!cmAudioFormatDescription || cmAudioFormatDescription->audioStreamBasicDescription() == nullptr) {
    return nullptr;
  }
  const AudioStreamBasicDescription& description = *cmAudioFormatDescription->audioStreamBasicDescription();
  std::shared_ptr<AVAudioChannelLayout> channelLayout;
  if (const auto& layout = cmAudioFormatDescription->audioChannelLayout()) {
    channelLayout = AVAudioChannelLayout::make(layout->mChannelLayoutTag);
  }
  if (!isAcceptable(description, channelLayout.get())) {
    return nullptr;
  }
  return std::shared_ptr<AVAudioFormat>(
      new AVAudioFormat(description, std::move(channelLayout), std::move(cmAudioFormatDescription)));
}

std::shared_ptr<AVAudioFormat> AVAudioFormat::makeStandard(double sampleRate, AVAudioChannelCount channels) {
  return make(AVAudioCommonFormat::pcmFormatFloat32, sampleRate, channels, false);
}

std::shared_ptr<AVAudioFormat> AVAudioFormat::makeStandard(double sampleRate,
                                                           std::shared_ptr<AVAudioChannelLayout> channelLayout) {
  return make(AVAudioCommonFormat::pcmFormatFloat32, sampleRate, false, std::move(channelLayout));
}

bool AVAudioFormat::isInterleaved() const noexcept { return !streamDescription_.isNonInterleaved(); }

bool AVAudioFormat::isStandard() const noexcept {
  return commonFormat_ == AVAudioCommonFormat::pcmFormatFloat32 && !isInterleaved();
}

bool operator==(const AVAudioFormat& lhs, const AVAudioFormat& rhs) noexcept {
  const auto* leftLayout = lhs.channelLayout_.get();
  const auto* rightLayout = rhs.channelLayout_.get();
  const bool sameLayout = leftLayout == nullptr ? rightLayout == nullptr
                                                : rightLayout != nullptr && *leftLayout == *rightLayout;
  return lhs.streamDescription_ == rhs.streamDescription_ && sameLayout;
}

std::ostream& operator<<(std::ostream& stream, const AVAudioFormat& format) {
  stream << format.channelCount() << " ch, " << format.sampleRate() << " Hz, ";
  switch (format.commonFormat()) {
    case AVAudioCommonFormat::pcmFormatFloat32:
      stream << "Float32";
      break;
    case AVAudioCommonFormat::pcmFormatFloat64:
      stream << "Float64";
      break;
    case AVAudioCommonFormat::pcmFormatInt16:
      stream << "Int16";
      break;
    case AVAudioCommonFormat::pcmFormatInt32:
      stream << "Int32";
      break;
    case AVAudioCommonFormat::otherFormat:
      stream << '\'' << fourCCString(format.streamDescription().mFormatID) << '\'';
      break;
  }
  return stream << (format.isInterleaved() ? ", interleaved" : ", deinterleaved");
}

}  // namespace platform
