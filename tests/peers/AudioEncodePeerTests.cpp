// ffmpeg encodes the same PCM as AudioCodec: stopping the codec must not lose
// the audio the encoder still held, so both give the same packet count.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using platform::AVAudioCompressedBuffer;
using platform::AVAudioFormat;
using platform::AVAudioPCMBuffer;
using platform::AVAudioTime;

constexpr double kRate = 48'000;
constexpr std::uint32_t kChannels = 2;

float sampleAt(std::int64_t frame, std::uint32_t channel) {
  const double seconds = static_cast<double>(frame) / kRate;
  return 0.4f * static_cast<float>(std::sin(2 * std::numbers::pi * (440.0 + 220.0 * channel) * seconds));
}

// AAC packets ffmpeg makes of `frames` frames of the tone.
int ffmpegPacketCount(std::int64_t frames, const peers::TemporaryDirectory& directory) {
  const auto pcm = directory.path() / "tone.f32";
  {
    std::ofstream file(pcm, std::ios::binary);
    for (std::int64_t frame = 0; frame < frames; ++frame) {
      for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
        const float sample = sampleAt(frame, channel);
        file.write(reinterpret_cast<const char*>(&sample), sizeof sample);
      }
    }
  }
  const auto aac = directory.path() / "tone.aac";
  const auto encoded = peers::run("ffmpeg -v error -y -f f32le -ar 48000 -ac 2 -i " + peers::quoted(pcm.string()) +
                                  " -c:a aac -b:a 64k -f adts " + peers::quoted(aac.string()));
  EXPECT_EQ(encoded.exitCode, 0) << encoded.output;
  const auto counted = peers::run("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                                  "stream=nb_read_packets -of default=noprint_wrappers=1:nokey=1 " +
                                  peers::quoted(aac.string()));
  EXPECT_EQ(counted.exitCode, 0) << counted.output;
  return std::stoi(counted.output);
}

// The same frames through AudioCodec in capture-sized buffers.
int codecPacketCount(std::int64_t frames, std::uint32_t chunk) {
  auto codec = AudioCodec::make();
  codec->setSettings(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::aac));
  codec->startRunning();
  auto stream = codec->outputStream();
  const auto format = AVAudioFormat::makeStandard(kRate, kChannels);
  for (std::int64_t first = 0; first < frames; first += chunk) {
    const auto length = static_cast<std::uint32_t>(std::min<std::int64_t>(chunk, frames - first));
    auto buffer = AVAudioPCMBuffer::make(format, length);
    buffer->setFrameLength(length);
    for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
      for (std::uint32_t frame = 0; frame < length; ++frame) {
        buffer->floatChannelData()[channel][frame] = sampleAt(first + frame, channel);
      }
    }
    codec->append(buffer, AVAudioTime::make(first, kRate));
  }
  codec->stopRunning();
  int packets = 0;
  while (auto output = platform::blockOn(stream.next())) {
    const auto compressed = std::dynamic_pointer_cast<AVAudioCompressedBuffer>(output->first);
    packets += compressed ? static_cast<int>(compressed->packetCount()) : 0;
  }
  return packets;
}

TEST(AudioEncodePeerTests, StoppingKeepsTheLastAudioSoPacketsMatchFFmpeg) {
  peers::TemporaryDirectory directory;
  struct Case {
    std::int64_t frames;
    std::uint32_t chunk;
  };
  // 60 s ends inside a packet; 10.24 s on a packet boundary.
  for (const Case each : {Case{60 * 48'000, 1024}, Case{10 * 48'000 + 11'520, 960}}) {
    const int expected = ffmpegPacketCount(each.frames, directory);
    EXPECT_EQ(codecPacketCount(each.frames, each.chunk), expected) << each.frames << " frames";
    EXPECT_GE(expected, (each.frames + 1023) / 1024 + 1) << "ffmpeg sends the encoder's delay too";
  }
}

}  // namespace
}  // namespace fluvio
