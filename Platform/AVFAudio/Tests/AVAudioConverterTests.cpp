#include <gtest/gtest.h>

#include "Platform/AVFAudio/Tests/AVAudioConverterTestSignals.hpp"

namespace platform {
namespace {

using namespace converter_testing;

using Status = AVAudioConverterOutputStatus;

// Fills the first `frames` frames of a float buffer with one constant per channel.
void fillLevels(AVAudioPCMBuffer& buffer, AVAudioFrameCount frames, std::initializer_list<float> levels) {
  float* const* channels = buffer.floatChannelData();
  std::size_t channel = 0;
  for (const float level : levels) {
    for (AVAudioFrameCount frame = 0; frame < frames; ++frame) channels[channel][frame * buffer.stride()] = level;
    ++channel;
  }
  buffer.setFrameLength(frames);
}

// The last frame's level on every channel after one full conversion.
std::vector<float> convertLevels(AVAudioConverter& converter, std::initializer_list<float> levels) {
  auto input = AVAudioPCMBuffer::make(converter.inputFormat(), 256);
  auto output = AVAudioPCMBuffer::make(converter.outputFormat(), 256);
  fillLevels(*input, 256, levels);
  EXPECT_EQ(converter.convert(*output, nullptr, giveOnce(input)), Status::haveData);
  std::vector<float> result;
  for (AVAudioChannelCount channel = 0; channel < converter.outputFormat()->channelCount(); ++channel) {
    result.push_back(output->floatChannelData()[channel][255 * output->stride()]);
  }
  return result;
}

TEST(AVAudioConverterTests, RateConversionKeepsTheToneAndHandsOutWholeBuffers) {
  const auto converter =
      AVAudioConverter::make(AVAudioFormat::makeStandard(44100, 2), AVAudioFormat::makeStandard(48000, 2));
  ASSERT_TRUE(converter);
  auto input = AVAudioPCMBuffer::make(converter->inputFormat(), 1024);
  auto output = AVAudioPCMBuffer::make(converter->outputFormat(), 1024);
  std::vector<float> left;
  auto collect = [&] {
    left.insert(left.end(), output->floatChannelData()[0], output->floatChannelData()[0] + output->frameLength());
  };
  constexpr int blocks = 100;
  for (int block = 0; block < blocks; ++block) {
    fillTone(*input, 1024, 1000, 0.5f, block * 1024);
    const auto give = giveOnce(input);
    while (converter->convert(*output, nullptr, give) == Status::haveData) {
      EXPECT_EQ(output->frameLength(), 1024u);
      collect();
    }
  }
  while (converter->convert(*output, nullptr, endOfStream()) == Status::haveData) collect();

  EXPECT_NEAR(static_cast<double>(left.size()), blocks * 1024 * 48000.0 / 44100, 2);
  const std::span<const float> steady(left.data() + 2048, left.size() - 4096);
  EXPECT_NEAR(zeroCrossingFrequency(steady, 48000), 1000, 1);
  EXPECT_NEAR(decibelsRMS(steady), toneDecibelsRMS(0.5f), 0.2);
}

TEST(AVAudioConverterTests, SampleFormatAndInterleavingConvertExactly) {
  const auto int16 = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true);
  const auto converter = AVAudioConverter::make(int16, AVAudioFormat::makeStandard(48000, 2));
  const auto back = AVAudioConverter::make(AVAudioFormat::makeStandard(48000, 2), int16);
  ASSERT_TRUE(converter && back);

  auto samples = AVAudioPCMBuffer::make(int16, 4);
  const std::int16_t values[] = {0, 16384, -32768, 32767, 1, -1, 8192, -8192};
  std::copy(std::begin(values), std::end(values), samples->int16ChannelData()[0]);
  samples->setFrameLength(4);
  auto floats = AVAudioPCMBuffer::make(converter->outputFormat(), 4);
  ASSERT_EQ(converter->convert(*floats, nullptr, giveOnce(samples)), Status::haveData);
  EXPECT_EQ(floats->floatChannelData()[0][1], -1.0f);
  EXPECT_EQ(floats->floatChannelData()[1][0], 0.5f);
  EXPECT_EQ(floats->floatChannelData()[1][3], -0.25f);

  auto restored = AVAudioPCMBuffer::make(int16, 4);
  ASSERT_EQ(back->convert(*restored, nullptr, giveOnce(floats)), Status::haveData);
  EXPECT_TRUE(std::equal(std::begin(values), std::end(values), restored->int16ChannelData()[0]));
}

TEST(AVAudioConverterTests, ChannelsFollowTheMapOrTheDownmixFlag) {
  const auto stereo = AVAudioFormat::makeStandard(48000, 2);
  const auto mono = AVAudioFormat::makeStandard(48000, 1);

  const auto toMono = AVAudioConverter::make(stereo, mono);
  ASSERT_TRUE(toMono);
  EXPECT_EQ(convertLevels(*toMono, {0.4f, 0.2f}), std::vector<float>{0.4f});
  toMono->setDownmix(true);
  EXPECT_NEAR(convertLevels(*toMono, {0.4f, 0.2f})[0], 0.3f, 1e-6);

  const auto swap = AVAudioConverter::make(stereo, stereo);
  ASSERT_TRUE(swap);
  EXPECT_EQ(swap->channelMap(), (std::vector<std::int64_t>{0, 1}));
  swap->setChannelMap({1, 0});
  EXPECT_EQ(convertLevels(*swap, {0.4f, 0.2f}), (std::vector<float>{0.2f, 0.4f}));
  swap->setChannelMap({2, 0});
  swap->setChannelMap({0});
  EXPECT_EQ(swap->channelMap(), (std::vector<std::int64_t>{1, 0}));
  swap->setChannelMap({-1, 0});
  EXPECT_EQ(convertLevels(*swap, {0.4f, 0.2f}), (std::vector<float>{0.0f, 0.4f}));

  const auto toStereo = AVAudioConverter::make(mono, stereo);
  ASSERT_TRUE(toStereo);
  EXPECT_EQ(convertLevels(*toStereo, {0.4f}), (std::vector<float>{0.4f, 0.0f}));
  toStereo->setChannelMap({0, 0});
  EXPECT_EQ(convertLevels(*toStereo, {0.4f}), (std::vector<float>{0.4f, 0.4f}));
}

TEST(AVAudioConverterTests, ShortInputWaitsInsideTheConverterUntilTheStreamEnds) {
  const auto format = AVAudioFormat::makeStandard(48000, 1);
  const auto converter = AVAudioConverter::make(format, format);
  ASSERT_TRUE(converter);
  auto input = AVAudioPCMBuffer::make(format, 600);
  auto output = AVAudioPCMBuffer::make(format, 1024);

  fillLevels(*input, 500, {0.25f});
  EXPECT_EQ(converter->convert(*output, nullptr, giveOnce(input)), Status::inputRanDry);
  EXPECT_EQ(output->frameLength(), 0u);
  fillLevels(*input, 600, {0.5f});
  EXPECT_EQ(converter->convert(*output, nullptr, giveOnce(input)), Status::haveData);
  ASSERT_EQ(output->frameLength(), 1024u);
  EXPECT_EQ(output->floatChannelData()[0][499], 0.25f);
  EXPECT_EQ(output->floatChannelData()[0][500], 0.5f);

  EXPECT_EQ(converter->convert(*output, nullptr, endOfStream()), Status::haveData);
  EXPECT_EQ(output->frameLength(), 76u);
  EXPECT_EQ(converter->convert(*output, nullptr, endOfStream()), Status::endOfStream);
  EXPECT_EQ(output->frameLength(), 0u);
}

TEST(AVAudioConverterTests, BuffersOfTheWrongKindOrFormatAreErrorsThatLeaveTheConverterWorking) {
  const auto format = AVAudioFormat::makeStandard(48000, 2);
  const auto other = AVAudioFormat::makeStandard(44100, 2);
  const auto converter = AVAudioConverter::make(format, format);
  ASSERT_TRUE(converter);
  auto good = AVAudioPCMBuffer::make(format, 256);
  auto foreign = AVAudioPCMBuffer::make(other, 256);
  fillLevels(*good, 256, {0.1f, 0.2f});
  fillLevels(*foreign, 256, {0.1f, 0.2f});

  const auto expectError = [&](AVAudioBuffer& output, const AVAudioConverterInputBlock& block,
                               AVAudioConverter::Error::Case expected) {
    std::optional<AVAudioConverter::Error> error;
    EXPECT_EQ(converter->convert(output, &error, block), Status::error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), expected) << error->what();
  };
  using Case = AVAudioConverter::Error::Case;
  expectError(*foreign, giveOnce(good), Case::invalidOutputBuffer);
  AudioStreamBasicDescription aac{48000, kAudioFormatMPEG4AAC, 2, 0, 1024, 0, 2, 0, 0};
  expectError(*AVAudioCompressedBuffer::make(AVAudioFormat::make(aac), 1, 1024), giveOnce(good),
              Case::invalidOutputBuffer);
  auto output = AVAudioPCMBuffer::make(format, 256);
  expectError(*output, giveOnce(foreign), Case::invalidInputBuffer);
  expectError(
      *output,
      [](AVAudioPacketCount, AVAudioConverterInputStatus& status) {
        status = AVAudioConverterInputStatus::haveData;
        return std::shared_ptr<AVAudioBuffer>();
      },
      Case::invalidInputBuffer);

  EXPECT_EQ(converter->convert(*output, nullptr, giveOnce(good)), Status::haveData);
  EXPECT_EQ(output->floatChannelData()[1][255], 0.2f);
}

TEST(AVAudioConverterTests, UnsupportedPairsMakeNoConverter) {
  const auto pcm = AVAudioFormat::makeStandard(48000, 2);
  AudioStreamBasicDescription aac{48000, kAudioFormatMPEG4AAC, 2, 0, 1024, 0, 2, 0, 0};
  AudioStreamBasicDescription opus{48000, kAudioFormatOpus, 0, 0, 960, 0, 2, 0, 0};
  EXPECT_FALSE(AVAudioConverter::make(AVAudioFormat::make(aac), AVAudioFormat::make(opus)));
  EXPECT_FALSE(AVAudioConverter::make(nullptr, pcm));
  aac.mSampleRate = 44000;
  EXPECT_FALSE(AVAudioConverter::make(pcm, AVAudioFormat::make(aac)));
  opus.mSampleRate = 44100;
  EXPECT_FALSE(AVAudioConverter::make(pcm, AVAudioFormat::make(opus)));
  AudioStreamBasicDescription mp3{48000, fourCC(".mp3"), 0, 0, 1152, 0, 2, 0, 0};
  EXPECT_FALSE(AVAudioConverter::make(AVAudioFormat::make(mp3), pcm));
}

}  // namespace
}  // namespace platform
