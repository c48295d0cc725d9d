#include "Fluvio/Sources/Codec/AudioCodec.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Extension/AVAudioCompressedBufferExtension.hpp"
#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace fluvio {
namespace {

using platform::AVAudioCompressedBuffer;
using platform::AVAudioFormat;
using platform::AVAudioPCMBuffer;
using platform::AVAudioTime;
using Output = AudioCodec::Output;

constexpr double kRate = 48'000;
constexpr double kToneFrequency = 1'000;
constexpr float kToneAmplitude = 0.5f;
constexpr std::uint64_t kStartHostTime = 5'000'000'000;  // 5 s: sample 240,000 at 48 kHz

std::shared_ptr<AVAudioPCMBuffer> makeTone(const std::shared_ptr<AVAudioFormat>& format, std::uint32_t frames,
                                           std::int64_t firstFrame) {
  auto buffer = AVAudioPCMBuffer::make(format, frames);
  buffer->setFrameLength(frames);
  for (std::uint32_t channel = 0; channel < format->channelCount(); ++channel) {
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
      const double seconds = static_cast<double>(firstFrame + frame) / format->sampleRate();
      buffer->floatChannelData()[channel][frame] =
          kToneAmplitude * static_cast<float>(std::sin(2 * std::numbers::pi * kToneFrequency * seconds));
    }
  }
  return buffer;
}

std::shared_ptr<AVAudioTime> timeOf(std::int64_t frame, double rate) {
  const auto hostTime = kStartHostTime + static_cast<std::uint64_t>(std::llround(frame * 1e9 / rate));
  return AVAudioTime::make(hostTime, frame, rate);
}

// Everything the stream held once the codec has stopped.
std::vector<Output> drain(AudioCodec& codec, const platform::AsyncStream<Output>& stream) {
  codec.stopRunning();
  std::vector<Output> outputs;
  while (auto output = platform::blockOn(stream.next())) outputs.push_back(std::move(*output));
  return outputs;
}

std::shared_ptr<AudioCodec> makeRunningCodec(AudioCodecSettings settings) {
  auto codec = AudioCodec::make();
  codec->setSettings(std::move(settings));
  codec->startRunning();
  return codec;
}

// A tone of `frames` frames from sample 0, appended in chunks of `chunk`.
std::vector<Output> encodeTone(const AudioCodecSettings& settings, std::int64_t frames, std::uint32_t chunk) {
  auto codec = makeRunningCodec(settings);
  auto stream = codec->outputStream();
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  for (std::int64_t frame = 0; frame < frames; frame += chunk) {
    codec->append(makeTone(format, chunk, frame), timeOf(frame, kRate));
  }
  return drain(*codec, stream);
}

std::vector<Output> decode(const std::vector<Output>& packets) {
  auto codec = makeRunningCodec(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::pcm));
  auto stream = codec->outputStream();
  for (const auto& [packet, time] : packets) codec->append(packet, time);
  return drain(*codec, stream);
}

// The samples of the outputs from `first` up to, not including, `end`.
std::vector<float> channelSamples(const std::vector<Output>& outputs, std::uint32_t channel, std::size_t first,
                                  std::size_t end) {
  std::vector<float> samples;
  for (std::size_t index = first; index < end; ++index) {
    const auto pcm = std::dynamic_pointer_cast<AVAudioPCMBuffer>(outputs[index].first);
    const float* data = pcm->floatChannelData()[channel];
    samples.insert(samples.end(), data, data + pcm->frameLength());
  }
  return samples;
}

// From the first to the last rising zero crossing, interpolated between samples.
double measureFrequency(const std::vector<float>& samples, double rate) {
  std::optional<double> first;
  double last = 0;
  int crossings = 0;
  for (std::size_t index = 1; index < samples.size(); ++index) {
    if (samples[index - 1] < 0 && samples[index] >= 0) {
      const double position = static_cast<double>(index - 1) + samples[index - 1] / (samples[index - 1] - samples[index]);
      if (!first) first = position;
      last = position;
      ++crossings;
    }
  }
  return crossings < 2 ? 0 : (crossings - 1) * rate / (last - *first);
}

double levelDecibels(const std::vector<float>& samples) {
  double sum = 0;
  for (const float sample : samples) sum += double{sample} * sample;
  return 10 * std::log10(sum / static_cast<double>(samples.size()));
}

void expectToneRoundTrip(const AudioCodecSettings& settings, std::uint32_t framesPerPacket) {
  constexpr std::int64_t frames = 2 * 48'000;
  const auto packets = encodeTone(settings, frames, 700);
  ASSERT_GE(packets.size(), static_cast<std::size_t>(frames / framesPerPacket - 4));
  // Stopping sends the last partial packet and what the encoder held back;
  // the last chunk of 700 frames may reach past `frames`.
  ASSERT_LE(packets.size(), static_cast<std::size_t>((frames + 700) / framesPerPacket + 2));

  // The clock starts at the first buffer's host time and advances before each stamp.
  const auto anchor = static_cast<std::int64_t>(kStartHostTime / 1'000'000'000 * 48'000);
  for (std::size_t index = 0; index < packets.size(); ++index) {
    const auto& [packet, time] = packets[index];
    const auto compressed = std::dynamic_pointer_cast<AVAudioCompressedBuffer>(packet);
    ASSERT_TRUE(compressed);
    EXPECT_EQ(compressed->packetCount(), 1u);
    EXPECT_GT(compressed->byteLength(), 0u);
    EXPECT_EQ(time->sampleRate(), kRate);
    EXPECT_EQ(time->sampleTime(), anchor + static_cast<std::int64_t>((index + 1) * framesPerPacket)) << index;
  }
  const auto bits = 8.0 * [&] {
    std::size_t bytes = 0;
    for (const auto& packet : packets) bytes += std::static_pointer_cast<AVAudioCompressedBuffer>(packet.first)->byteLength();
    return bytes;
  }();
  EXPECT_NEAR(bits / (packets.size() * framesPerPacket / kRate), settings.bitRate, settings.bitRate * 0.25);

  const auto decoded = decode(packets);
  ASSERT_EQ(decoded.size(), packets.size());
  for (std::size_t index = 0; index < decoded.size(); ++index) {
    EXPECT_EQ(decoded[index].second, packets[index].second) << "decoded audio keeps its packet's time";
    // Each packet reaches the decoder once: one packet's frames per buffer
    // (the first may be shortened by the decoder's start-up trim).
    const auto frames = std::static_pointer_cast<AVAudioPCMBuffer>(decoded[index].first)->frameLength();
    if (index > 0) EXPECT_EQ(frames, framesPerPacket) << index;
  }
  const auto expectedLevel = 20 * std::log10(kToneAmplitude / std::numbers::sqrt2);
  for (std::uint32_t channel = 0; channel < 2; ++channel) {
    // Without the start-up and the end, where the tone stops inside a packet.
    const auto samples = channelSamples(decoded, channel, 8, decoded.size() - 3);
    EXPECT_NEAR(measureFrequency(samples, kRate), kToneFrequency, 2);
    EXPECT_NEAR(levelDecibels(samples), expectedLevel, 1);
  }
}

TEST(AudioCodecTest, AACAtTheBroadcastBitRateRoundTripsAToneThroughTheCodec) {
  expectToneRoundTrip(AudioCodecSettings(128'000), 1024);
}

TEST(AudioCodecTest, OpusRoundTripsAToneThroughTheCodec) {
  expectToneRoundTrip(AudioCodecSettings(128'000, true, std::nullopt, 0, AudioCodecFormat::opus), 960);
}

TEST(AudioCodecTest, PCMShortOfAPacketWaitsInTheRingBufferUntilStopSendsIt) {
  auto codec = makeRunningCodec(AudioCodecSettings(128'000));
  auto stream = codec->outputStream();
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  codec->append(makeTone(format, 512, 0), timeOf(0, kRate));
  // The encoder's 1,024 frames of delay and the 512 frames: two packets.
  const auto sent = drain(*codec, stream);
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& [packet, time] : sent) {
    EXPECT_EQ(std::dynamic_pointer_cast<AVAudioCompressedBuffer>(packet)->packetCount(), 1u);
  }

  codec->startRunning();
  stream = codec->outputStream();
  for (std::int64_t frame = 512; frame < 512 + 8 * 1024; frame += 1024) {
    codec->append(makeTone(format, 1024, frame), timeOf(frame, kRate));
  }
  EXPECT_FALSE(drain(*codec, stream).empty());
}

TEST(AudioCodecTest, NothingComesOutWhileStopped) {
  auto codec = AudioCodec::make();
  codec->setSettings(AudioCodecSettings(128'000));
  auto stream = codec->outputStream();
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  for (int index = 0; index < 8; ++index) codec->append(makeTone(format, 1024, index * 1024), timeOf(index * 1024, kRate));
  EXPECT_TRUE(codec->inputFormat()) << "the input format is taken while stopped";
  EXPECT_FALSE(codec->isRunning());
  codec->startRunning();
  EXPECT_TRUE(drain(*codec, stream).empty());
}

TEST(AudioCodecTest, StoppingEndsTheSequenceAndARestartResumesOnANewOne) {
  auto codec = makeRunningCodec(AudioCodecSettings(128'000));
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  auto first = codec->outputStream();
  for (int index = 0; index < 8; ++index) codec->append(makeTone(format, 1024, index * 1024), timeOf(index * 1024, kRate));
  EXPECT_FALSE(drain(*codec, first).empty());

  codec->startRunning();
  auto second = codec->outputStream();
  for (int index = 8; index < 16; ++index) codec->append(makeTone(format, 1024, index * 1024), timeOf(index * 1024, kRate));
  const auto resumed = drain(*codec, second);
  ASSERT_FALSE(resumed.empty());
  // The clock was reset on start and anchored again at the first buffer after it.
  EXPECT_EQ(resumed.front().second->sampleTime(), 240'000 + 8 * 1024 + 1024);
}

// The encoder's clock counts output frames: its anchor is the first buffer's
// time at the output rate, whatever rate the input has.
TEST(AudioCodecTest, PacketTimesCountAtTheOutputRateFromTheFirstBuffersTime) {
  struct Case {
    const char* name;
    double inputRate;
    bool withHostTime;
    std::int64_t anchor;  // at 48 kHz
  } cases[] = {
      // The first buffer starts at 5.5 s of host time.
      {"44.1 kHz with host time", 44'100, true, 264'000},
      {"48 kHz with host time", 48'000, true, 264'000},
      // Without a host time the input's sample time (half a second) is converted.
      {"44.1 kHz without host time", 44'100, false, 24'000},
  };
  for (const auto& c : cases) {
    auto codec = makeRunningCodec(AudioCodecSettings(128'000, true, std::nullopt, 48'000));
    auto stream = codec->outputStream();
    const auto format = AVAudioFormat::makeStandard(c.inputRate, 2);
    const auto firstFrame = static_cast<std::int64_t>(c.inputRate / 2);
    for (std::int64_t frame = firstFrame; frame < firstFrame + static_cast<std::int64_t>(c.inputRate); frame += 1024) {
      const auto when = c.withHostTime ? timeOf(frame, c.inputRate) : AVAudioTime::make(frame, c.inputRate);
      codec->append(makeTone(format, 1024, frame), when);
    }
    const auto packets = drain(*codec, stream);
    ASSERT_GE(packets.size(), 45u) << c.name << ": a second at 48 kHz is about 47 packets";
    for (std::size_t index = 0; index < packets.size(); ++index) {
      const auto& time = packets[index].second;
      const auto frames = static_cast<std::int64_t>((index + 1) * 1024);
      EXPECT_EQ(time->sampleRate(), 48'000) << c.name;
      EXPECT_EQ(time->sampleTime(), c.anchor + frames) << c.name << " packet " << index;
      EXPECT_EQ(time->isHostTimeValid(), c.withHostTime) << c.name;
      if (c.withHostTime) {
        const double expected = 5.5e9 + static_cast<double>(frames) * 1e9 / 48'000;
        EXPECT_NEAR(static_cast<double>(time->hostTime()), expected, 1'000) << c.name << " packet " << index;
      }
    }
  }
}

TEST(AudioCodecTest, SettingsChangesRebuildOnlyWhatTheConverterCannotTakeLive) {
  auto codec = makeRunningCodec(AudioCodecSettings(128'000));
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  codec->append(makeTone(format, 1024, 0), timeOf(0, kRate));
  ASSERT_TRUE(codec->inputFormat());

  codec->setSettings(AudioCodecSettings(96'000, false));
  EXPECT_TRUE(codec->inputFormat()) << "bit rate and downmix apply to the live converter";

  for (const auto& settings : {AudioCodecSettings(96'000, false, std::nullopt, 0, AudioCodecFormat::opus),
                               AudioCodecSettings(96'000, false, std::vector<std::int64_t>{0, 1}),
                               AudioCodecSettings(96'000, false, std::vector<std::int64_t>{0, 1}, 24'000)}) {
    codec->append(makeTone(format, 1024, 0), timeOf(0, kRate));
    ASSERT_TRUE(codec->inputFormat());
    codec->setSettings(settings);
    EXPECT_FALSE(codec->inputFormat());
  }
}

TEST(AudioCodecTest, ANewPCMFormatRebuildsTheConverterAndTheSameFormatKeepsIt) {
  auto codec = makeRunningCodec(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::pcm));
  auto stream = codec->outputStream();
  const auto stereo48 = AVAudioFormat::makeStandard(kRate, 2);
  const auto stereo44 = AVAudioFormat::makeStandard(44'100, 2);
  codec->append(makeTone(stereo48, 1024, 0), timeOf(0, kRate));
  const auto first = codec->inputFormat();
  codec->append(makeTone(AVAudioFormat::makeStandard(kRate, 2), 1024, 1024), timeOf(1024, kRate));
  EXPECT_EQ(codec->inputFormat(), first) << "an equal format keeps the converter";
  codec->append(makeTone(stereo44, 1024, 0), timeOf(0, 44'100));
  codec->append(makeTone(stereo44, 1024, 1024), timeOf(1024, 44'100));
  EXPECT_EQ(*codec->inputFormat(), *stereo44);

  const auto outputs = drain(*codec, stream);
  ASSERT_FALSE(outputs.empty());
  EXPECT_EQ(outputs.back().first->format()->sampleRate(), 44'100);
  EXPECT_EQ(outputs.back().second->sampleRate(), 44'100);
}

TEST(AudioCodecTest, AChannelMapPicksTheOutputChannels) {
  auto codec = makeRunningCodec(AudioCodecSettings(64'000, true, std::vector<std::int64_t>{1}, 0, AudioCodecFormat::pcm));
  auto stream = codec->outputStream();
  const auto format = AVAudioFormat::makeStandard(kRate, 2);
  for (int index = 0; index < 4; ++index) {
    auto buffer = AVAudioPCMBuffer::make(format, 1024);
    buffer->setFrameLength(1024);
    std::fill_n(buffer->floatChannelData()[0], 1024, 0.25f);
    std::fill_n(buffer->floatChannelData()[1], 1024, -0.5f);
    codec->append(buffer, timeOf(index * 1024, kRate));
  }
  const auto outputs = drain(*codec, stream);
  ASSERT_FALSE(outputs.empty());
  const auto& mono = outputs.back().first;
  EXPECT_EQ(mono->format()->channelCount(), 1u);
  const auto samples = channelSamples({outputs.back()}, 0, 0, 1);
  ASSERT_FALSE(samples.empty());
  EXPECT_NEAR(samples.back(), -0.5f, 1e-4);
}

// ADTS framing of AAC packets 20 to 23 of a tone, one sample per frame.
struct ADTSFrames {
  std::vector<Output> packets;
  std::vector<std::vector<std::uint8_t>> frames;
};

ADTSFrames makeADTSFrames() {
  ADTSFrames result;
  auto packets = encodeTone(AudioCodecSettings(128'000), 30 * 1024, 1024);
  result.packets.assign(packets.begin() + 20, packets.begin() + 24);
  for (const auto& [packet, time] : result.packets) {
    auto& frame = result.frames.emplace_back();
    EXPECT_TRUE(encode(*std::static_pointer_cast<AVAudioCompressedBuffer>(packet), frame));
  }
  return result;
}

std::shared_ptr<platform::CMSampleBuffer> makeSampleBuffer(const std::vector<std::vector<std::uint8_t>>& frames,
                                          std::shared_ptr<const platform::CMFormatDescription> description,
                                          const platform::CMTime& start) {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> sizes;
  for (const auto& frame : frames) {
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    sizes.push_back(frame.size());
  }
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1024, 48'000), start, platform::CMTime::invalid};
  auto sampleBuffer = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::move(bytes)), true,
                                                     std::move(description), frames.size(), {&timing, 1}, sizes);
  EXPECT_TRUE(sampleBuffer);
  return sampleBuffer.value;
}

TEST(AudioCodecTest, ADTSSampleBuffersDecodeLikeTheirRawPackets) {
  const auto [packets, frames] = makeADTSFrames();
  const auto raw = decode(packets);
  ASSERT_EQ(raw.size(), 4u);

  // A frame with a CRC (9-byte header) and a frame shorter than its header
  // among them; the short one is skipped without losing its neighbours.
  auto protectedFrame = frames[1];
  protectedFrame[1] &= 0xFE;
  protectedFrame.insert(protectedFrame.begin() + 7, {0xAB, 0xCD});
  const std::vector<std::vector<std::uint8_t>> sampleFrames = {frames[0], protectedFrame, {0xFF, 0xF1, 0x50}, frames[2],
                                                               frames[3]};
  const auto description = ADTSHeader(frames[0]).makeFormatDescription();
  ASSERT_TRUE(description);
  const auto start = platform::CMTime::make(96'000, 48'000);

  auto codec = makeRunningCodec(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::pcm));
  auto stream = codec->outputStream();
  codec->append(*makeSampleBuffer(sampleFrames, description, start));
  const auto decoded = drain(*codec, stream);

  ASSERT_EQ(decoded.size(), 4u);
  const std::int64_t expectedTimes[] = {96'000, 96'000 + 1024, 96'000 + 3 * 1024, 96'000 + 4 * 1024};
  for (std::size_t index = 0; index < decoded.size(); ++index) {
    EXPECT_EQ(decoded[index].second->sampleTime(), expectedTimes[index]);
    EXPECT_EQ(decoded[index].second->sampleRate(), 48'000);
    EXPECT_EQ(channelSamples({decoded[index]}, 0, 0, 1), channelSamples({raw[index]}, 0, 0, 1)) << index;
  }
}

TEST(AudioCodecTest, PacketTimesFollowTheSampleBuffersOwnTimescale) {
  const auto [packets, frames] = makeADTSFrames();
  const auto description = ADTSHeader(frames[0]).makeFormatDescription();
  auto codec = makeRunningCodec(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::pcm));
  auto stream = codec->outputStream();
  codec->append(*makeSampleBuffer({frames[0], frames[1]}, description, platform::CMTime::make(2'000, 1'000)));
  const auto decoded = drain(*codec, stream);
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_EQ(decoded[0].second->sampleTime(), 2'000);
  EXPECT_EQ(decoded[1].second->sampleTime(), 2'021) << "1,024 samples at 48 kHz are 21.3 ms";
  EXPECT_EQ(decoded[1].second->sampleRate(), 1'000);
}

TEST(AudioCodecTest, SampleBuffersAreOnlyDecodedInPCMMode) {
  const auto [packets, frames] = makeADTSFrames();
  const auto description = ADTSHeader(frames[0]).makeFormatDescription();
  auto codec = makeRunningCodec(AudioCodecSettings(128'000));
  auto stream = codec->outputStream();
  codec->append(*makeSampleBuffer(frames, description, platform::CMTime::make(0, 48'000)));
  EXPECT_FALSE(codec->inputFormat());
  EXPECT_TRUE(drain(*codec, stream).empty());
}

}  // namespace
}  // namespace fluvio
