#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/HostClock.hpp"
#include "RTMPFluvio/Tests/Codec/ParameterSetFixtures.hpp"

// Encoded media for the stream tests, built from fixed parameter sets.
namespace rtmpfluvio::testing {

inline std::shared_ptr<const platform::CMFormatDescription> h264Description() {
  const std::span<const std::uint8_t> sets[] = {kH264SPS, kH264PPS};
  return platform::CMFormatDescription::makeFromH264ParameterSets(sets, 4).value;
}

inline std::shared_ptr<const platform::CMFormatDescription> hevcDescription() {
  const std::span<const std::uint8_t> sets[] = {kHEVCVPS, kHEVCSPS, kHEVCPPS};
  return platform::CMFormatDescription::makeFromHEVCParameterSets(sets, 4).value;
}

inline const std::vector<std::uint8_t> kEncodedFrame{0x00, 0x00, 0x00, 0x02, 0x65, 0x88};

// One encoded frame decoded at `decode` (invalid: none) and presented at `presentation`.
inline platform::CMSampleBuffer encodedFrame(const std::shared_ptr<const platform::CMFormatDescription>& description,
                                             platform::CMTime decode, platform::CMTime presentation,
                                             bool isKeyFrame = true,
                                             const std::vector<std::uint8_t>& data = kEncodedFrame) {
  const std::size_t size = data.size();
  const platform::CMSampleTimingInfo timing{platform::CMTime::invalid, presentation, decode};
  auto frame = *platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector<std::uint8_t>(data)), true,
                                               description, 1, {&timing, 1}, {&size, 1})
                    .value;
  if (!isKeyFrame) fluvio::setNotSync(frame, true);
  return frame;
}

inline platform::CMSampleBuffer encodedFrameAt(double decodeSeconds,
                                               const std::shared_ptr<const platform::CMFormatDescription>& description =
                                                   h264Description()) {
  const auto time = platform::CMTime::makeWithSeconds(decodeSeconds, 90000);
  return encodedFrame(description, time, time);
}

// An H.264 key frame of `bytes` bytes (one NAL unit) decoded at `decodeSeconds`.
inline platform::CMSampleBuffer encodedFrameOfSize(double decodeSeconds, std::size_t bytes) {
  std::vector<std::uint8_t> data(bytes, 0x5A);
  const auto length = static_cast<std::uint32_t>(bytes - 4);
  for (int index = 0; index < 4; ++index) data[index] = static_cast<std::uint8_t>(length >> (24 - 8 * index));
  data[4] = 0x65;
  const auto time = platform::CMTime::makeWithSeconds(decodeSeconds, 90000);
  return encodedFrame(h264Description(), time, time, true, data);
}

inline std::shared_ptr<platform::AVAudioCompressedBuffer> aacPacket(double sampleRate, std::uint32_t channels,
                                                                    std::uint8_t fill = 0x21) {
  const platform::AudioStreamBasicDescription stream{sampleRate, platform::kAudioFormatMPEG4AAC, 2, 0, 1024, 0,
                                                     channels, 0};
  const auto description = platform::CMFormatDescription::makeAudio(stream).value;
  auto buffer = platform::AVAudioCompressedBuffer::make(platform::AVAudioFormat::make(description), 1, 16);
  std::fill_n(static_cast<std::uint8_t*>(buffer->data()), 4, fill);
  buffer->setByteLength(4);
  return buffer;
}

// An audio time `seconds` after the host clock's origin.
inline std::shared_ptr<platform::AVAudioTime> audioTimeAt(double seconds) {
  return platform::AVAudioTime::make(platform::AVAudioTime::hostTime(seconds));
}

}  // namespace rtmpfluvio::testing
