#include "RTMPFluvio/Sources/RTMP/RTMPStreamMetadata.hpp"

#include <cstdint>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {

namespace {

// FourCCs read as big-endian numbers, the enhanced codec ids.
constexpr std::int64_t kHEVCCodecId = 0x68766331;  // "hvc1"
constexpr std::int64_t kOpusCodecId = 0x4F707573;  // "Opus"
constexpr std::int64_t kAVCCodecId = 7;
constexpr std::int64_t kAACCodecId = 10;

std::int64_t videoCodecId(fluvio::VideoCodecFormat format) {
  return format == fluvio::VideoCodecFormat::hevc ? kHEVCCodecId : kAVCCodecId;
}

std::int64_t audioCodecId(fluvio::AudioCodecFormat format) {
  switch (format) {
    case fluvio::AudioCodecFormat::aac:
      return kAACCodecId;
    case fluvio::AudioCodecFormat::opus:
      return kOpusCodecId;
    case fluvio::AudioCodecFormat::pcm:
      break;
  }
  return 0;
}

}  // namespace

AMFArray makeMetadata(const fluvio::OutgoingStream& outgoing) {
  AMFArray metadata;
  metadata.dict.set("duration", 0);
  if (outgoing.videoInputFormat()) {
    const auto& settings = outgoing.videoSettings();
    metadata.dict.set("width", settings.videoSize.width);
    metadata.dict.set("height", settings.videoSize.height);
    metadata.dict.set("videocodecid", videoCodecId(settings.format));
    metadata.dict.set("videodatarate", settings.bitRate / 1000);
    if (settings.expectedFrameRate) metadata.dict.set("framerate", *settings.expectedFrameRate);
  }
  const auto& audioInput = outgoing.audioInputFormat();
  if (const auto* description = audioInput ? audioInput->audioStreamBasicDescription() : nullptr) {
    const auto& settings = outgoing.audioSettings();
    metadata.dict.set("audiocodecid", audioCodecId(settings.format));
    metadata.dict.set("audiodatarate", settings.bitRate / 1000);
    metadata.dict.set("audiosamplerate",
                      fluvio::makeSampleRate(settings.format, description->mSampleRate, settings.sampleRate()));
  }
  return metadata;
}

}  // namespace rtmpfluvio
