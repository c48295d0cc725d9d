#pragma once

#include <memory>
#include <ostream>

#include "Platform/AVFAudio/AVAudioChannelLayout.hpp"
#include "Platform/AVFAudio/AVAudioCommonFormat.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {

// An immutable audio stream format: a stream description, its channel layout
// when it has one, and the matching audio format description.
class AVAudioFormat {
 public:
  // Native-endian packed PCM. Nothing for `otherFormat`, no channels, or a
  // sample rate that is not positive and finite.
  static std::shared_ptr<AVAudioFormat> make(AVAudioCommonFormat commonFormat, double sampleRate,
                                             AVAudioChannelCount channels, bool interleaved);
  // As above with the layout's channel count; nothing without a layout.
  static std::shared_ptr<AVAudioFormat> make(AVAudioCommonFormat commonFormat, double sampleRate, bool interleaved,
                                             std::shared_ptr<AVAudioChannelLayout> channelLayout);
  // Any stream, PCM or compressed. Nothing without channels, for a sample rate
  // that is not positive and finite, or for a layout whose channel count
  // differs from the description's.
  static std::shared_ptr<AVAudioFormat> make(const AudioStreamBasicDescription& streamDescription,
                                             std::shared_ptr<AVAudioChannelLayout> channelLayout = nullptr);
  // The format of an audio format description, which it keeps as its own.
  static std::shared_ptr<AVAudioFormat> make(std::shared_ptr<const CMFormatDescription> cmAudioFormatDescription);
  // Deinterleaved 32-bit float.
  static std::shared_ptr<AVAudioFormat> makeStandard(double sampleRate, AVAudioChannelCount channels);
  static std::shared_ptr<AVAudioFormat> makeStandard(double sampleRate,
                                                     std::shared_ptr<AVAudioChannelLayout> channelLayout);

  const AudioStreamBasicDescription& streamDescription() const noexcept { return streamDescription_; }
  const std::shared_ptr<AVAudioChannelLayout>& channelLayout() const noexcept { return channelLayout_; }
  const std::shared_ptr<const CMFormatDescription>& formatDescription() const noexcept { return formatDescription_; }

  AVAudioCommonFormat commonFormat() const noexcept { return commonFormat_; }
  double sampleRate() const noexcept { return streamDescription_.mSampleRate; }
  AVAudioChannelCount channelCount() const noexcept { return streamDescription_.mChannelsPerFrame; }
  bool isInterleaved() const noexcept;
  // Deinterleaved native 32-bit float.
  bool isStandard() const noexcept;

  // Same stream description field by field and same layout (or none on both).
  friend bool operator==(const AVAudioFormat& lhs, const AVAudioFormat& rhs) noexcept;
  // "2 ch, 48000 Hz, Float32, interleaved", for log lines.
  friend std::ostream& operator<<(std::ostream& stream, const AVAudioFormat& format);

 private:
  AVAudioFormat(const AudioStreamBasicDescription& streamDescription,
                std::shared_ptr<AVAudioChannelLayout> channelLayout,
                std::shared_ptr<const CMFormatDescription> formatDescription);

  AudioStreamBasicDescription streamDescription_;
  std::shared_ptr<AVAudioChannelLayout> channelLayout_;
  std::shared_ptr<const CMFormatDescription> formatDescription_;
  AVAudioCommonFormat commonFormat_;
};

}  // namespace platform
