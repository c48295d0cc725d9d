#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "Platform/AVFAudio/AudioPacketEncoder.hpp"
#include "Platform/AVFAudio/AudioResampler.hpp"
#include "Platform/AVFAudio/Tests/AVAudioConverterTestSignals.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {
namespace {

using namespace converter_testing;

constexpr float amplitude = 0.5f;
constexpr double toneFrequency = 1000;

std::shared_ptr<AVAudioConverter> makeEncoder(double rate, std::uint32_t channels, std::int64_t bitRate) {
  return AVAudioConverter::make(AVAudioFormat::makeStandard(rate, channels), aacFormat(rate, channels), bitRate);
}

std::shared_ptr<AVAudioConverter> makeDecoder(const AVAudioConverter& encoder) {
  const auto& format = encoder.outputFormat();
  return AVAudioConverter::make(format, AVAudioFormat::makeStandard(format->sampleRate(), format->channelCount()));
}

std::size_t byteCount(std::span<const Packet> packets) {
  return std::accumulate(packets.begin(), packets.end(), std::size_t{0},
                         [](std::size_t sum, const Packet& packet) { return sum + packet.size(); });
}

// The steady part of every channel carries the tone at its frequency and level.
void expectTone(const std::vector<std::vector<float>>& channels, double rate) {
  for (const auto& samples : channels) {
    ASSERT_GT(samples.size(), 16384u);
    const std::span<const float> steady(samples.data() + 8192, samples.size() - 16384);
    EXPECT_NEAR(zeroCrossingFrequency(steady, rate), toneFrequency, 2);
    EXPECT_NEAR(decibelsRMS(steady), toneDecibelsRMS(amplitude), 1);
  }
}

// The smallest lag (in frames) by which `decoded` best follows the tone.
std::size_t toneLag(std::span<const float> decoded, std::size_t from, double rate) {
  const auto error = [&](std::size_t lag) {
    double sum = 0;
    for (std::size_t index = from; index < from + 2048; ++index) {
      const double expected =
          amplitude * std::sin(2 * std::numbers::pi * toneFrequency * static_cast<double>(index - lag) / rate);
      sum += (decoded[index] - expected) * (decoded[index] - expected);
    }
    return sum;
  };
  std::size_t best = 0;
  for (std::size_t lag = 1; lag < 1024; ++lag) {
    if (error(lag) < error(best) - 1e-6) best = lag;
  }
  return best;
}

// The AudioSpecificConfig's fields: object type, frequency index, channel configuration.
struct SpecificConfig {
  int objectType;
  int frequencyIndex;
  int channels;
};

SpecificConfig parse(const std::vector<std::uint8_t>& cookie) {
  return {cookie[0] >> 3, (cookie[0] & 0x07) << 1 | cookie[1] >> 7, (cookie[1] >> 3) & 0x0F};
}

TEST(AACEncoderTests, MonoAndStereoAtBothRatesDecodeToTheToneWithAMatchingConfig) {
  const struct {
    double rate;
    std::uint32_t channels;
    int frequencyIndex;
  } rows[] = {{44100, 1, 4}, {44100, 2, 4}, {48000, 1, 3}, {48000, 2, 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.rate << " Hz, " << row.channels << " channels");
    const auto encoder = makeEncoder(row.rate, row.channels, 64000 * row.channels);
    ASSERT_TRUE(encoder);
    const auto& cookie = encoder->magicCookie();
    ASSERT_EQ(cookie.size(), 2u);
    const auto config = parse(cookie);
    EXPECT_EQ(config.objectType, 2);
    EXPECT_EQ(config.frequencyIndex, row.frequencyIndex);
    EXPECT_EQ(config.channels, static_cast<int>(row.channels));
    EXPECT_EQ(encoder->outputFormat()->formatDescription()->magicCookie(), cookie);

    const auto encoded = encodeTone(*encoder, 80, 1024, toneFrequency, amplitude);
    const auto decoder = makeDecoder(*encoder);
    ASSERT_TRUE(decoder);
    const auto decoded = decodePackets(*decoder, encoded.packets);
    ASSERT_EQ(decoded.size(), row.channels);
    expectTone(decoded, row.rate);
    // The whole input comes out: nothing of its end stays in the encoder.
    EXPECT_EQ(encoded.packets.size(), 81u);
    EXPECT_GT(decibelsRMS(std::span(decoded[0]).subspan(80 * 1024 - 1024, 1024)), toneDecibelsRMS(amplitude) - 1);
  }
}

TEST(AACEncoderTests, ABitRateChangeTakesEffectBothWaysWithoutASeam) {
  for (const auto& [first, second] : {std::pair{192000, 64000}, std::pair{64000, 192000}}) {
    SCOPED_TRACE(testing::Message() << first << " then " << second);
    const auto encoder = makeEncoder(48000, 2, first);
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->bitRate(), first);
    auto input = AVAudioPCMBuffer::make(encoder->inputFormat(), 1024);
    auto output = AVAudioCompressedBuffer::make(encoder->outputFormat(), 1, 4096);
    std::vector<Packet> packets;
    std::size_t changedAt = 0;
    for (int block = 0; block < 120; ++block) {
      if (block == 60) {
        encoder->setBitRate(second);
        changedAt = packets.size();
      }
      fillTone(*input, 1024, toneFrequency, amplitude, block * 1024);
      const auto give = giveOnce(input);
      while (encoder->convert(*output, nullptr, give) == AVAudioConverterOutputStatus::haveData) {
        packets.push_back(takePackets(*output).front());
      }
    }
    EXPECT_EQ(encoder->bitRate(), second);
    EXPECT_EQ(packets.size(), 119u);
    const std::span<const Packet> all(packets);
    const double before = static_cast<double>(byteCount(all.subspan(10, changedAt - 10))) / (changedAt - 10);
    const double after = static_cast<double>(byteCount(all.subspan(changedAt + 2))) / (all.size() - changedAt - 2);
    const double expectedRatio = static_cast<double>(second) / first;
    EXPECT_NEAR(after / before, expectedRatio, expectedRatio * 0.25);

    // The stream decodes straight through the change: the level holds in
    // every packet around it.
    const auto decoded = decodePackets(*makeDecoder(*encoder), packets);
    for (std::size_t packet = changedAt - 4; packet < changedAt + 4; ++packet) {
      EXPECT_NEAR(decibelsRMS(std::span(decoded[0]).subspan(packet * 1024, 1024)), toneDecibelsRMS(amplitude), 1)
          << packet;
    }
  }
}

// Thirty seconds fed in 10 ms buffers, as the broadcast feeds it: one packet
// per 1,024 frames from the second on, and the stream neither gains nor loses
// a frame against its input.
TEST(AACEncoderTests, ALongRunKeepsOnePacketPer1024FramesAndItsTiming) {
  constexpr double rate = 44100;
  constexpr AVAudioFrameCount blockFrames = 441;
  constexpr int blocks = 3000;
  const auto encoder = makeEncoder(rate, 2, 128000);
  ASSERT_TRUE(encoder);
  const auto encoded = encodeTone(*encoder, blocks, blockFrames, toneFrequency, amplitude);
  for (int block = 0; block < blocks; ++block) {
    const std::size_t whole = (block + 1) * std::size_t{blockFrames} / 1024;
    ASSERT_EQ(encoded.packetsAfterBlock[block], whole > 0 ? whole - 1 : 0) << block;
  }
  const std::size_t inputFrames = std::size_t{blocks} * blockFrames;
  EXPECT_EQ(encoded.packets.size(), (inputFrames + 1023) / 1024 + 1);

  const auto decoded = decodePackets(*makeDecoder(*encoder), encoded.packets);
  const std::size_t startLag = toneLag(decoded[0], 8192, rate);
  EXPECT_EQ(toneLag(decoded[0], inputFrames - 4096, rate), startLag);
}

// Packet times count frames from the first input frame: the first packet
// starts where the encoder's start-up delay puts it, each next one 1,024
// frames later, and the decoded stream agrees, a click coming out at the time
// the packets give its input frame. After a reopen the times start over.
TEST(AACEncoderTests, PacketTimesPlaceTheDecodedStreamWhereItsInputWas) {
  const struct {
    const char* name;
    int rate;
    int channels;
    std::int64_t firstTime;
  } rows[] = {{"small encoder, stereo", 48000, 2, -576},
              {"small encoder, mono", 44100, 1, -576},
              {"codec library, 6 channels", 48000, 6, -1024}};
  constexpr int inputFrames = 16 * 1024;
  constexpr int clickFrame = 5000;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto encoder =
        AudioPacketEncoder::make({kAudioFormatMPEG4AAC, row.rate, row.channels, 64000 * row.channels, 0});
    ASSERT_TRUE(encoder);
    const auto resampler =
        AudioResampler::make({AV_SAMPLE_FMT_FLT, row.rate, row.channels}, {encoder->sampleFormat(), row.rate, row.channels},
                             AudioChannelMatrix::identity(row.channels, row.channels));
    ASSERT_TRUE(resampler);
    std::vector<float> input(std::size_t{inputFrames} * row.channels, 0.0f);
    std::fill_n(input.begin() + std::ptrdiff_t{clickFrame} * row.channels, row.channels, 0.8f);
    const auto* plane = reinterpret_cast<const std::uint8_t*>(input.data());

    for (const bool reopened : {false, true}) {
      SCOPED_TRACE(reopened ? "reopened" : "new");
      if (reopened) ASSERT_EQ(encoder->reopen(), 0);
      ASSERT_EQ(resampler->push(&plane, inputFrames), 0);
      while (resampler->available() > 0) {
        ASSERT_EQ(encoder->encode(*resampler, std::min(resampler->available(), encoder->frameSize())), 0);
      }
      ASSERT_EQ(encoder->flush(), 0);
      std::vector<Packet> packets;
      for (std::int64_t expected = row.firstTime; !encoder->packets().empty(); expected += 1024) {
        const AudioPacket& packet = encoder->packets().front();
        ASSERT_EQ(packet.presentationTime, expected) << "packet " << packets.size();
        packets.emplace_back(packet.bytes.begin(), packet.bytes.end());
        encoder->packets().pop_front();
      }
      EXPECT_GE(row.firstTime + std::ssize(packets) * 1024, inputFrames) << "the end of the input stayed behind";
      if (reopened) continue;

      const auto described = CMFormatDescription::makeAudio(
          aacFormat(row.rate, static_cast<std::uint32_t>(row.channels))->streamDescription(), std::nullopt,
          encoder->magicCookie());
      ASSERT_TRUE(described);
      const auto decoder = AVAudioConverter::make(AVAudioFormat::make(described.value),
                                                  AVAudioFormat::makeStandard(row.rate, row.channels));
      ASSERT_TRUE(decoder);
      const auto decoded = decodePackets(*decoder, packets);
      const auto loudest = std::max_element(decoded[0].begin(), decoded[0].end(),
                                            [](float a, float b) { return std::abs(a) < std::abs(b); });
      EXPECT_NEAR(row.firstTime + (loudest - decoded[0].begin()), clickFrame, 2);
    }
  }
}

// What the small encoder cannot make goes to the codec library's encoder.
TEST(AACEncoderTests, MoreThanTwoChannelsOrAnUnusualRateFallBackToTheCodecLibrary) {
  const auto surround = makeEncoder(48000, 6, 384000);
  ASSERT_TRUE(surround);
  EXPECT_EQ(parse(surround->magicCookie()).channels, 6);
  const auto surroundPackets = encodeTone(*surround, 60, 1024, toneFrequency, amplitude).packets;
  const auto stereoOut = AVAudioConverter::make(surround->outputFormat(), AVAudioFormat::makeStandard(48000, 2));
  ASSERT_TRUE(stereoOut);
  expectTone(decodePackets(*stereoOut, surroundPackets), 48000);

  const auto unusual = makeEncoder(7350, 1, 32000);
  ASSERT_TRUE(unusual);
  EXPECT_EQ(parse(unusual->magicCookie()).frequencyIndex, 12);
  EXPECT_FALSE(encodeTone(*unusual, 20, 1024, 500, amplitude).packets.empty());
}

}  // namespace
}  // namespace platform
