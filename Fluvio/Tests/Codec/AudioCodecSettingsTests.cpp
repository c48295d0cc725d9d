#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Platform/AVFAudio/AVAudioConverter.hpp"

namespace fluvio {
namespace {

using platform::AVAudioFormat;

std::shared_ptr<AVAudioFormat> floatFormat(double sampleRate, std::uint32_t channels) {
  return AVAudioFormat::makeStandard(sampleRate, channels);
}

TEST(AudioCodecSettingsTest, DefaultsToSixtyFourKilobitAACAtTheInputRate) {
  const auto& settings = AudioCodecSettings::defaultSettings;
  EXPECT_EQ(settings.bitRate, 64'000);
  EXPECT_TRUE(settings.downmix);
  EXPECT_FALSE(settings.channelMap);
  EXPECT_EQ(settings.sampleRate(), 0);
  EXPECT_EQ(settings.format, AudioCodecFormat::aac);

  const auto output = settings.makeOutputFormat(*floatFormat(44'100, 2));
  ASSERT_TRUE(output);
  const auto& description = output->streamDescription();
  EXPECT_EQ(description.mFormatID, platform::kAudioFormatMPEG4AAC);
  EXPECT_EQ(description.mFormatFlags, 2u);
  EXPECT_EQ(description.mSampleRate, 44'100);
  EXPECT_EQ(description.mChannelsPerFrame, 2u);
  EXPECT_EQ(description.mFramesPerPacket, 1024u);
  EXPECT_FALSE(output->channelLayout());
}

TEST(AudioCodecSettingsTest, OpusPicksTheNearestOpusRateAndTheLowerOnATie) {
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::opus, 44'100, 0), 48'000);
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::opus, 44'100, 10'000), 8'000);
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::opus, 44'100, 20'000), 16'000);
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::opus, 1, 0), 8'000);
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::aac, 44'100, 0), 44'100);
  EXPECT_EQ(makeSampleRate(AudioCodecFormat::pcm, 44'100, 22'050), 22'050);

  const AudioCodecSettings opus(64'000, true, std::nullopt, 0, AudioCodecFormat::opus);
  const auto output = opus.makeOutputFormat(*floatFormat(44'100, 2));
  ASSERT_TRUE(output);
  EXPECT_EQ(output->streamDescription().mFormatID, platform::kAudioFormatOpus);
  EXPECT_EQ(output->sampleRate(), 48'000);
  EXPECT_EQ(output->streamDescription().mFramesPerPacket, 960u);
}

TEST(AudioCodecSettingsTest, PCMIsDeinterleavedFloatAtTheInputRate) {
  const AudioCodecSettings pcm(64'000, true, std::nullopt, 0, AudioCodecFormat::pcm);
  auto input = AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, 32'000, 2, true);
  const auto output = pcm.makeOutputFormat(*input);
  ASSERT_TRUE(output);
  EXPECT_TRUE(output->isStandard());
  EXPECT_EQ(output->streamDescription().mFormatFlags, 0x29u);
  EXPECT_EQ(output->streamDescription().mBytesPerFrame, 4u);
  EXPECT_EQ(output->sampleRate(), 32'000);
}

TEST(AudioCodecSettingsTest, ChannelCountsAndLayouts) {
  const auto& settings = AudioCodecSettings::defaultSettings;
  struct Case {
    std::uint32_t inputChannels;
    std::uint32_t outputChannels;
    std::optional<platform::AudioChannelLayoutTag> layout;
  };
  for (const auto& [input, channels, layout] : {
           Case{6, 6, platform::kAudioChannelLayoutTag_MPEG_5_1_D},
           Case{8, 8, platform::kAudioChannelLayoutTag_MPEG_7_1_B},
           Case{7, 7, std::nullopt},
           Case{10, 8, std::nullopt},
       }) {
    SCOPED_TRACE(input);
    const auto output = settings.makeOutputFormat(*floatFormat(48'000, input));
    ASSERT_TRUE(output);
    EXPECT_EQ(output->channelCount(), channels);
    if (layout) {
      ASSERT_TRUE(output->channelLayout());
      EXPECT_EQ(output->channelLayout()->layoutTag(), *layout);
    } else {
      EXPECT_FALSE(output->channelLayout());
    }
  }
}

TEST(AudioCodecSettingsTest, AChannelMapSetsTheOutputChannelCount) {
  AudioCodecSettings mono(64'000, true, std::vector<std::int64_t>{1}, 0, AudioCodecFormat::pcm);
  auto output = mono.makeOutputFormat(*floatFormat(48'000, 2));
  ASSERT_TRUE(output);
  EXPECT_EQ(output->channelCount(), 1u);

  AudioCodecSettings seven(64'000, true, std::vector<std::int64_t>{0, 1, 0, 1, 0, 1, 0}, 0, AudioCodecFormat::pcm);
  output = seven.makeOutputFormat(*floatFormat(48'000, 2));
  ASSERT_TRUE(output);
  EXPECT_EQ(output->channelCount(), 7u);

  AudioCodecSettings empty(64'000, true, std::vector<std::int64_t>{}, 0, AudioCodecFormat::pcm);
  EXPECT_FALSE(empty.makeOutputFormat(*floatFormat(48'000, 2)));
}

TEST(AudioCodecSettingsTest, WhatNeedsANewConverter) {
  const auto& old = AudioCodecSettings::defaultSettings;
  EXPECT_FALSE(AudioCodecSettings(128'000, false).requiresNewConverter(old));
  EXPECT_TRUE(AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::opus).requiresNewConverter(old));
  EXPECT_TRUE(AudioCodecSettings(64'000, true, std::vector<std::int64_t>{0, 1}).requiresNewConverter(old));
  EXPECT_TRUE(AudioCodecSettings(64'000, true, std::nullopt, 44'100).requiresNewConverter(old));
}

TEST(AudioCodecSettingsTest, ApplyClampsTheBitRateToTheConvertersRange) {
  auto input = floatFormat(48'000, 2);
  auto output = AudioCodecSettings::defaultSettings.makeOutputFormat(*input);
  auto converter = platform::AVAudioConverter::make(input, output);
  ASSERT_TRUE(converter);
  const auto rates = converter->applicableEncodeBitRates();
  ASSERT_TRUE(rates && !rates->empty());
  const auto [low, high] = std::minmax_element(rates->begin(), rates->end());

  AudioCodecSettings(*high + 100'000).apply(converter.get(), std::nullopt);
  EXPECT_EQ(converter->bitRate(), *high);
  AudioCodecSettings(1).apply(converter.get(), AudioCodecSettings(*high + 100'000));
  EXPECT_EQ(converter->bitRate(), *low);
  // An unchanged bit rate is left to the converter.
  converter->setBitRate(*high);
  AudioCodecSettings(1, false).apply(converter.get(), AudioCodecSettings(1));
  EXPECT_EQ(converter->bitRate(), *high);
  EXPECT_FALSE(converter->downmix());
  // Nothing happens without a converter.
  AudioCodecSettings().apply(nullptr, std::nullopt);
}

TEST(AudioCodecSettingsTest, ChannelMapsThatDoNotFitTheConverterAreNotSet) {
  auto input = floatFormat(48'000, 2);
  auto converter = platform::AVAudioConverter::make(input, floatFormat(48'000, 2));
  ASSERT_TRUE(converter);

  const AudioCodecSettings swapped(64'000, true, std::vector<std::int64_t>{1, 0}, 0, AudioCodecFormat::pcm);
  EXPECT_EQ(swapped.makeChannelMap(*converter), (std::vector<std::int64_t>{1, 0}));
  swapped.apply(converter.get(), std::nullopt);
  EXPECT_EQ(converter->channelMap(), (std::vector<std::int64_t>{1, 0}));

  for (const auto& map : {std::vector<std::int64_t>{2, 0}, std::vector<std::int64_t>{0, 1, 0}}) {
    const AudioCodecSettings misfit(64'000, true, map, 0, AudioCodecFormat::pcm);
    EXPECT_FALSE(misfit.makeChannelMap(*converter));
    misfit.apply(converter.get(), swapped);
    EXPECT_EQ(converter->channelMap(), (std::vector<std::int64_t>{1, 0}));
  }
  EXPECT_FALSE(AudioCodecSettings::defaultSettings.makeChannelMap(*converter));
}

TEST(AudioCodecSettingsTest, EncodedFormRoundTripsWithThePartsKeys) {
  const AudioCodecSettings settings(128'000, false, std::vector<std::int64_t>{1, 0}, 44'100, AudioCodecFormat::opus);
  const nlohmann::ordered_json json = settings;
  EXPECT_EQ(json.dump(), R"({"bitRate":128000,"downmix":false,"channelMap":[1,0],"sampleRate":44100.0,"format":"opus"})")
      << "keys in field order";
  EXPECT_EQ(json, nlohmann::ordered_json::parse(
                      R"({"bitRate":128000,"downmix":false,"channelMap":[1,0],"sampleRate":44100.0,"format":"opus"})"));
  const auto decoded = json.get<AudioCodecSettings>();
  EXPECT_EQ(decoded.bitRate, 128'000);
  EXPECT_FALSE(decoded.downmix);
  EXPECT_EQ(decoded.channelMap, settings.channelMap);
  EXPECT_EQ(decoded.sampleRate(), 44'100);
  EXPECT_EQ(decoded.format, AudioCodecFormat::opus);

  EXPECT_FALSE(nlohmann::ordered_json(AudioCodecSettings::defaultSettings).contains("channelMap"));
}

TEST(AudioCodecSettingsTest, DecodingNeedsEveryKeyButTheChannelMap) {
  const auto valid = nlohmann::ordered_json::parse(R"({"bitRate":64000,"downmix":true,"sampleRate":0,"format":"pcm"})");
  const auto decoded = valid.get<AudioCodecSettings>();
  EXPECT_FALSE(decoded.channelMap);
  EXPECT_EQ(decoded.format, AudioCodecFormat::pcm);

  for (const char* key : {"bitRate", "downmix", "sampleRate", "format"}) {
    auto missing = valid;
    missing.erase(key);
    EXPECT_THROW(missing.get<AudioCodecSettings>(), nlohmann::ordered_json::exception) << key;
  }
  for (const auto& [key, value] : std::initializer_list<std::pair<const char*, nlohmann::ordered_json>>{
           {"bitRate", 64000.5}, {"bitRate", "64000"}, {"downmix", 1}, {"sampleRate", "0"},
           {"format", "mp3"}, {"format", 1}, {"channelMap", {0, "1"}}, {"channelMap", 3}}) {
    auto mistyped = valid;
    mistyped[key] = value;
    EXPECT_THROW(mistyped.get<AudioCodecSettings>(), nlohmann::ordered_json::exception) << key << "=" << value.dump();
  }
  EXPECT_THROW(nlohmann::ordered_json::array().get<AudioCodecSettings>(), nlohmann::ordered_json::exception);
}

}  // namespace
}  // namespace fluvio
