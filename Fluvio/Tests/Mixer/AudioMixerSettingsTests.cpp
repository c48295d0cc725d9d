#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Mixer/AudioMixerSettings.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"

namespace fluvio {
namespace {

using platform::AVAudioCommonFormat;
using platform::AVAudioFormat;

std::shared_ptr<AVAudioFormat> input(double rate, std::uint32_t channels, bool interleaved = true) {
  return AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, rate, channels, interleaved);
}

struct OutputCase {
  const char* name;
  double inputRate;
  std::uint32_t inputChannels;
  double sampleRate;
  std::uint32_t channels;
  std::uint32_t maximumChannels;
  double expectedRate;
  std::uint32_t expectedChannels;
  bool expectLayout;
};

class OutputFormatRule : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputFormatRule, DerivesRateAndChannels) {
  const auto& rule = GetParam();
  AudioMixerSettings settings(rule.sampleRate, rule.channels, false, 0, {});
  settings.maximumNumberOfChannels = rule.maximumChannels;
  for (const bool interleaved : {true, false}) {
    const auto format = settings.makeOutputFormat(input(rule.inputRate, rule.inputChannels, interleaved)->formatDescription());
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->sampleRate(), rule.expectedRate);
    EXPECT_EQ(format->channelCount(), rule.expectedChannels);
    EXPECT_EQ(format->commonFormat(), AVAudioCommonFormat::pcmFormatInt16);
    EXPECT_EQ(format->isInterleaved(), interleaved);
    EXPECT_EQ(format->channelLayout() != nullptr, rule.expectLayout);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, OutputFormatRule,
    ::testing::Values(OutputCase{"defaults", 44100, 2, 0, 0, 2, 44100, 2, false},
                      OutputCase{"inputAboveMaximumRate", 96000, 2, 0, 0, 2, 48000, 2, false},
                      OutputCase{"askedAboveMaximumRate", 44100, 2, 96000, 0, 2, 48000, 2, false},
                      OutputCase{"askedAtMaximumRate", 44100, 2, 48000, 0, 2, 48000, 2, false},
                      OutputCase{"askedLowRate", 48000, 2, 22050, 0, 2, 22050, 2, false},
                      OutputCase{"mono", 48000, 1, 0, 0, 2, 48000, 1, false},
                      OutputCase{"sixBoundedToTwo", 48000, 6, 0, 0, 2, 48000, 2, false},
                      OutputCase{"sixAllowed", 48000, 6, 0, 0, 6, 48000, 6, true},
                      OutputCase{"askedFourNotBounded", 48000, 2, 0, 4, 2, 48000, 4, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputFormatRule, NothingForWhatIsNotPCM) {
  EXPECT_EQ(AudioMixerSettings{}.makeOutputFormat(nullptr), nullptr);
  platform::AudioStreamBasicDescription aac{48000, platform::kAudioFormatMPEG4AAC, 2, 0, 1024, 0, 2, 0, 0};
  auto description = platform::CMFormatDescription::makeAudio(aac);
  ASSERT_TRUE(description);
  EXPECT_EQ(AudioMixerSettings{}.makeOutputFormat(description.value), nullptr);
}

struct MapCase {
  const char* name;
  std::uint32_t inputChannels;
  std::uint32_t outputChannels;
  std::optional<std::vector<std::int64_t>> map;
  bool valid;
};

class ChannelMapRule : public ::testing::TestWithParam<MapCase> {};

TEST_P(ChannelMapRule, AppliesOnlyMapsTheConverterCanTake) {
  const auto& rule = GetParam();
  auto converter = platform::AVAudioConverter::make(input(48000, rule.inputChannels), input(48000, rule.outputChannels));
  ASSERT_NE(converter, nullptr);
  const auto before = converter->channelMap();
  AudioMixerTrackSettings settings;
  settings.channelMap = rule.map;
  EXPECT_EQ(settings.validChannelMap(*converter).has_value(), rule.valid);
  settings.apply(AudioMixerTrackSettings{}, converter.get());
  EXPECT_EQ(converter->channelMap(), rule.valid ? *rule.map : before);
}

INSTANTIATE_TEST_SUITE_P(Maps, ChannelMapRule,
                         ::testing::Values(MapCase{"swap", 2, 2, std::vector<std::int64_t>{1, 0}, true},
                                           MapCase{"missingInputChannel", 2, 2, std::vector<std::int64_t>{0, 2}, false},
                                           MapCase{"tooShort", 2, 2, std::vector<std::int64_t>{0}, false},
                                           MapCase{"none", 2, 2, std::nullopt, false},
                                           MapCase{"monoToBoth", 1, 2, std::vector<std::int64_t>{0, 0}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrackSettingsChange, TouchesTheConverterOnlyForWhatChanged) {
  auto converter = platform::AVAudioConverter::make(input(48000, 2), input(48000, 2));
  converter->setDownmix(true);
  AudioMixerTrackSettings old;
  old.channelMap = std::vector<std::int64_t>{1, 0};
  old.apply(AudioMixerTrackSettings{}, converter.get());
  converter->setChannelMap({0, 1});  // changed behind the settings' back
  auto louder = old;
  louder.volume = 0.5f;
  louder.apply(old, converter.get());  // same map again: left alone
  EXPECT_EQ(converter->channelMap(), (std::vector<std::int64_t>{0, 1}));
  EXPECT_TRUE(converter->downmix());
  auto noDownmix = louder;
  noDownmix.downmix = false;
  noDownmix.apply(louder, converter.get());
  EXPECT_FALSE(converter->downmix());
}

TEST(AudioMixerSettingsCoding, RoundTripsAndRefusesBrokenInput) {
  AudioMixerSettings settings(44100, 1, true, 3, {{3, {0.5f, true, false, std::vector<std::int64_t>{0}}}, {200, {}}});
  settings.maximumNumberOfChannels = 6;
  const nlohmann::ordered_json json = settings;
  EXPECT_EQ(json.at("tracks").size(), 4u);
  EXPECT_FALSE(json.at("tracks")[3].contains("channelMap"));
  EXPECT_EQ(json.get<AudioMixerSettings>(), settings);

  EXPECT_EQ(json.dump(),
            R"({"sampleRate":44100.0,"channels":1,"isMuted":true,"mainTrack":3,"tracks":[3,{"volume":0.5,)"
            R"("isMuted":true,"downmix":false,"channelMap":[0]},200,{"volume":1.0,"isMuted":false,"downmix":true}],)"
            R"("maximumNumberOfChannels":6})");
  const nlohmann::ordered_json defaults = AudioMixerSettings::defaultSettings;
  EXPECT_EQ(defaults.dump(),
            R"({"sampleRate":0.0,"channels":0,"isMuted":false,"mainTrack":0,"tracks":[],"maximumNumberOfChannels":2})");
  EXPECT_EQ(nlohmann::ordered_json::parse(defaults.dump()).get<AudioMixerSettings>(), AudioMixerSettings{});

  auto missing = json;
  missing.erase("maximumNumberOfChannels");
  EXPECT_THROW(missing.get<AudioMixerSettings>(), nlohmann::ordered_json::exception);
  auto badId = json;
  badId["tracks"][0] = 256;
  EXPECT_THROW(badId.get<AudioMixerSettings>(), nlohmann::ordered_json::exception);
  auto oddTracks = json;
  oddTracks["tracks"].erase(3);
  EXPECT_THROW(oddTracks.get<AudioMixerSettings>(), nlohmann::ordered_json::exception);
  auto noMap = nlohmann::ordered_json{{"volume", 1.0}, {"isMuted", false}, {"downmix", true}};
  EXPECT_EQ(noMap.get<AudioMixerTrackSettings>().channelMap, std::nullopt);
  noMap.erase("downmix");
  EXPECT_THROW(noMap.get<AudioMixerTrackSettings>(), nlohmann::ordered_json::exception);
}

}  // namespace
}  // namespace fluvio
