#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "Platform/AVFAudio/Tests/AVAudioConverterTestSignals.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {
namespace {

using namespace converter_testing;

constexpr double rate = 48000;
constexpr float amplitude = 0.5f;

std::shared_ptr<AVAudioFormat> compressedFormat(AudioFormatID formatID, std::uint32_t channels,
                                                std::uint32_t framesPerPacket) {
  AudioStreamBasicDescription description;
  description.mSampleRate = rate;
  description.mFormatID = formatID;
  description.mFormatFlags = formatID == kAudioFormatMPEG4AAC ? 2 : 0;
  description.mFramesPerPacket = framesPerPacket;
  description.mChannelsPerFrame = channels;
  return AVAudioFormat::make(description);
}

std::uint32_t framesPerPacket(AudioFormatID formatID) { return formatID == kAudioFormatOpus ? 960 : 1024; }

std::shared_ptr<AVAudioConverter> makeEncoder(AudioFormatID formatID, std::int64_t bitRate,
                                              std::uint32_t channels = 2) {
  return AVAudioConverter::make(AVAudioFormat::makeStandard(rate, channels),
                                compressedFormat(formatID, channels, framesPerPacket(formatID)), bitRate);
}

std::shared_ptr<AVAudioConverter> makeDecoder(std::shared_ptr<AVAudioFormat> compressed) {
  return AVAudioConverter::make(std::move(compressed), AVAudioFormat::makeStandard(rate, 2));
}

double averageBitRate(const std::vector<Packet>& packets, std::uint32_t framesPerPacket) {
  const auto bytes = std::accumulate(packets.begin(), packets.end(), std::size_t{0},
                                     [](std::size_t sum, const Packet& packet) { return sum + packet.size(); });
  return static_cast<double>(bytes) * 8 * rate / (static_cast<double>(packets.size()) * framesPerPacket);
}

// Every channel carries the tone at its frequency and level, leaving out the
// codec's start-up and tail.
void expectTone(const std::vector<std::vector<float>>& channels) {
  for (const auto& samples : channels) {
    ASSERT_GT(samples.size(), 8192u);
    const std::span<const float> steady(samples.data() + 4096, samples.size() - 8192);
    EXPECT_NEAR(zeroCrossingFrequency(steady, rate), 1000, 2);
    EXPECT_NEAR(decibelsRMS(steady), toneDecibelsRMS(amplitude), 1);
  }
}

Packet mangled(Packet packet) {
  std::fill(packet.begin(), packet.end(), 0xFF);
  return packet;
}

TEST(AVAudioConverterCodecTests, AACRoundTripKeepsToneAndLevelWithOnePacketPer1024Frames) {
  const auto encoder = makeEncoder(kAudioFormatMPEG4AAC, 128000);
  ASSERT_TRUE(encoder);
  const auto encoded = encodeTone(*encoder, 100, 1024, 1000, amplitude);

  // The encoder holds back one packet at the start; after that each block of
  // 1,024 frames gives exactly one packet, and the end releases the rest.
  for (std::size_t block = 0; block < encoded.packetsAfterBlock.size(); ++block) {
    EXPECT_EQ(encoded.packetsAfterBlock[block], block) << block;
  }
  EXPECT_EQ(encoded.packets.size(), 101u);
  EXPECT_NEAR(averageBitRate(encoded.packets, 1024), 128000, 128000 * 0.1);

  // AAC LC, 48 kHz, two channels; carried by the output format too.
  const auto& cookie = encoder->magicCookie();
  ASSERT_GE(cookie.size(), 2u);
  EXPECT_EQ(cookie[0], 0x11);
  EXPECT_EQ(cookie[1], 0x90);
  EXPECT_EQ(encoder->outputFormat()->formatDescription()->magicCookie(), cookie);
  EXPECT_EQ(encoder->outputFormat()->streamDescription().mFramesPerPacket, 1024u);

  const auto withCookie = makeDecoder(encoder->outputFormat());
  const auto plain = makeDecoder(compressedFormat(kAudioFormatMPEG4AAC, 2, 1024));
  ASSERT_TRUE(withCookie && plain);
  for (const auto& decoder : {withCookie, plain}) {
    const auto decoded = decodePackets(*decoder, encoded.packets);
    EXPECT_EQ(decoded[0].size(), encoded.packets.size() * 1024);
    expectTone(decoded);
  }
}

TEST(AVAudioConverterCodecTests, OpusRoundTripKeepsToneAndLevelWithOnePacketPer960Frames) {
  const auto encoder = makeEncoder(kAudioFormatOpus, 128000);
  ASSERT_TRUE(encoder);
  const auto encoded = encodeTone(*encoder, 100, 1024, 1000, amplitude);

  for (std::size_t block = 0; block < encoded.packetsAfterBlock.size(); ++block) {
    EXPECT_EQ(encoded.packetsAfterBlock[block], (block + 1) * 1024 / 960) << block;
  }
  EXPECT_GE(encoded.packets.size(), (100 * 1024 + 959) / 960);
  EXPECT_NEAR(averageBitRate(encoded.packets, 960), 128000, 128000 * 0.25);

  const auto& cookie = encoder->magicCookie();
  ASSERT_GE(cookie.size(), 19u);
  EXPECT_EQ(std::string(cookie.begin(), cookie.begin() + 8), "OpusHead");
  EXPECT_EQ(cookie[9], 2);

  const auto withCookie = makeDecoder(encoder->outputFormat());
  const auto plain = makeDecoder(compressedFormat(kAudioFormatOpus, 2, 960));
  ASSERT_TRUE(withCookie && plain);
  for (const auto& decoder : {withCookie, plain}) expectTone(decodePackets(*decoder, encoded.packets));
}

TEST(AVAudioConverterCodecTests, ARejectedPacketFailsItsOwnCallAndTheNextPacketDecodes) {
  for (const auto formatID : {kAudioFormatMPEG4AAC, kAudioFormatOpus}) {
    SCOPED_TRACE(formatID == kAudioFormatOpus ? "opus" : "aac");
    const auto encoder = makeEncoder(formatID, 128000);
    ASSERT_TRUE(encoder);
    const auto packets = encodeTone(*encoder, 20, 1024, 1000, amplitude).packets;
    const auto decoder = makeDecoder(encoder->outputFormat());
    ASSERT_TRUE(decoder);
    decodePackets(*decoder, {packets.begin(), packets.begin() + 10});

    auto output = AVAudioPCMBuffer::make(decoder->outputFormat(), 2048);
    auto input = AVAudioCompressedBuffer::make(decoder->inputFormat(), 1, 4096);
    auto load = [&](const Packet& packet, AudioStreamPacketDescription description) {
      std::copy(packet.begin(), packet.end(), static_cast<std::uint8_t*>(input->data()));
      input->packetDescriptions()[0] = description;
      input->setPacketCount(1);
      input->setByteLength(static_cast<std::uint32_t>(packet.size()));
    };
    const auto size = [&](std::size_t index) { return static_cast<std::uint32_t>(packets[index].size()); };

    std::optional<AVAudioConverter::Error> error;
    load(mangled(packets[10]), {0, 0, size(10)});
    EXPECT_EQ(decoder->convert(*output, &error, giveOnce(input)), AVAudioConverterOutputStatus::error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), AVAudioConverter::Error::Case::decodingFailed);

    error.reset();
    load(packets[11], {1, 0, size(11)});
    EXPECT_EQ(decoder->convert(*output, &error, giveOnce(input)), AVAudioConverterOutputStatus::error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), AVAudioConverter::Error::Case::invalidInputBuffer);

    load(packets[12], {0, 0, size(12)});
    EXPECT_EQ(decoder->convert(*output, nullptr, giveOnce(input)), AVAudioConverterOutputStatus::haveData);
    EXPECT_EQ(output->frameLength(), framesPerPacket(formatID));
  }
}

TEST(AVAudioConverterCodecTests, BitRatesAreOfferedPerCodecAndReachTheRunningEncoder) {
  const auto aac = makeEncoder(kAudioFormatMPEG4AAC, 128000);
  const auto aacMono = makeEncoder(kAudioFormatMPEG4AAC, 64000, 1);
  const auto opus = makeEncoder(kAudioFormatOpus, 128000);
  ASSERT_TRUE(aac && aacMono && opus);
  for (const auto& encoder : {aac, aacMono, opus}) {
    const auto rates = encoder->applicableEncodeBitRates();
    ASSERT_TRUE(rates && !rates->empty());
    EXPECT_TRUE(std::is_sorted(rates->begin(), rates->end()));
    EXPECT_NE(std::find(rates->begin(), rates->end(), 64000 * encoder->outputFormat()->channelCount()), rates->end());
  }
  EXPECT_EQ(aac->applicableEncodeBitRates()->front(), 64000);
  EXPECT_EQ(aac->applicableEncodeBitRates()->back(), 320000);
  EXPECT_LT(aacMono->applicableEncodeBitRates()->back(), aac->applicableEncodeBitRates()->back());
  EXPECT_LE(opus->applicableEncodeBitRates()->front(), 16000);
  EXPECT_FALSE(makeDecoder(compressedFormat(kAudioFormatMPEG4AAC, 2, 1024))->applicableEncodeBitRates());

  aac->setBitRate(1'000'000);
  EXPECT_EQ(aac->bitRate(), 128000);

  for (const auto& encoder : {aac, opus}) {
    encoder->setBitRate(192000);
    auto input = AVAudioPCMBuffer::make(encoder->inputFormat(), 1024);
    auto output = AVAudioCompressedBuffer::make(encoder->outputFormat(), 1, 4096);
    std::vector<Packet> halves[2];
    for (int block = 0; block < 200; ++block) {
      if (block == 100) encoder->setBitRate(64000);
      fillTone(*input, 1024, 1000, amplitude, block * 1024);
      const auto give = giveOnce(input);
      while (encoder->convert(*output, nullptr, give) == AVAudioConverterOutputStatus::haveData) {
        halves[block >= 100].push_back(takePackets(*output).front());
      }
    }
    const auto frames = framesPerPacket(encoder->outputFormat()->streamDescription().mFormatID);
    EXPECT_LT(averageBitRate(halves[1], frames), 0.6 * averageBitRate(halves[0], frames));
    // A live change keeps one packet per packet's worth of input.
    EXPECT_EQ(halves[0].size() + halves[1].size(), encoder == aac ? 199u : 200u * 1024 / 960);
  }
}

// A rate given at creation is where the encoder starts, kept within the
// applicable range, with no later change needed to reach it.
TEST(AVAudioConverterCodecTests, AnEncoderStartsAtTheRateItIsMadeWith) {
  const struct {
    AudioFormatID formatID;
    std::int64_t requested;
    std::int64_t started;
  } rows[] = {
      {kAudioFormatMPEG4AAC, 96000, 96000},   {kAudioFormatMPEG4AAC, 1'000'000, 320000},
      {kAudioFormatMPEG4AAC, 1000, 64000},    {kAudioFormatOpus, 32000, 32000},
      {kAudioFormatOpus, 1'000'000, 512000},
  };
  for (const auto& row : rows) {
    const auto encoder = makeEncoder(row.formatID, row.requested);
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->bitRate(), row.started) << row.requested;
  }
  const auto low = encodeTone(*makeEncoder(kAudioFormatMPEG4AAC, 64000), 100, 1024, 1000, amplitude);
  const auto high = encodeTone(*makeEncoder(kAudioFormatMPEG4AAC, 192000), 100, 1024, 1000, amplitude);
  EXPECT_LT(averageBitRate(low.packets, 1024), 0.6 * averageBitRate(high.packets, 1024));
}

TEST(AVAudioConverterCodecTests, EndOfStreamIsFinalUntilReset) {
  const auto encoder = makeEncoder(kAudioFormatMPEG4AAC, 128000);
  ASSERT_TRUE(encoder);
  encodeTone(*encoder, 3, 1024, 1000, amplitude);

  int requests = 0;
  auto output = AVAudioCompressedBuffer::make(encoder->outputFormat(), 1, 4096);
  const AVAudioConverterInputBlock counting = [&](AVAudioPacketCount, AVAudioConverterInputStatus& status) {
    ++requests;
    status = AVAudioConverterInputStatus::noDataNow;
    return std::shared_ptr<AVAudioBuffer>();
  };
  EXPECT_EQ(encoder->convert(*output, nullptr, counting), AVAudioConverterOutputStatus::endOfStream);
  EXPECT_EQ(requests, 0);

  encoder->reset();
  const auto again = encodeTone(*encoder, 10, 1024, 1000, amplitude);
  EXPECT_EQ(again.packetsAfterBlock.front(), 0u);
  EXPECT_EQ(again.packets.size(), 11u);
}

TEST(AVAudioConverterCodecTests, PacketsLargerThanTheOutputBufferAreReportedAndDropped) {
  const auto encoder = makeEncoder(kAudioFormatMPEG4AAC, 320000);
  ASSERT_TRUE(encoder);
  auto input = AVAudioPCMBuffer::make(encoder->inputFormat(), 1024);
  auto tiny = AVAudioCompressedBuffer::make(encoder->outputFormat(), 1, 8);
  auto roomy = AVAudioCompressedBuffer::make(encoder->outputFormat(), 1, 4096);
  fillTone(*input, 1024, 1000, amplitude, 0);
  encoder->convert(*roomy, nullptr, giveOnce(input));
  fillTone(*input, 1024, 1000, amplitude, 1024);

  std::optional<AVAudioConverter::Error> error;
  EXPECT_EQ(encoder->convert(*tiny, &error, giveOnce(input)), AVAudioConverterOutputStatus::error);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->errorCase(), AVAudioConverter::Error::Case::outputBufferTooSmall);
  fillTone(*input, 1024, 1000, amplitude, 2048);
  EXPECT_EQ(encoder->convert(*roomy, nullptr, giveOnce(input)), AVAudioConverterOutputStatus::haveData);
}

}  // namespace
}  // namespace platform
