#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"

namespace fluvio {
namespace {

using platform::VTPropertyValue;
using Settings = VideoCodecSettings;

std::map<std::string, VTPropertyValue> byKey(const VTSessionOptionSet& options) {
  std::map<std::string, VTPropertyValue> values;
  for (const auto& option : options) values.emplace(option.key.rawValue, option.value);
  return values;
}

std::string key(std::string_view platformKey) { return std::string(platformKey); }

Settings broadcastSettings() {
  return Settings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1));
}

TEST(VideoCodecSettingsTests, FormatFollowsTheProfileLevelUntilSetDirectly) {
  const auto& defaults = Settings::defaultSettings();
  EXPECT_EQ(defaults.videoSize, (platform::CGSize{854, 480}));
  EXPECT_EQ(defaults.bitRate, 640'000);
  EXPECT_EQ(defaults.profileLevel(), platform::kVTProfileLevel_H264_Baseline_3_1);
  EXPECT_EQ(defaults.format, Settings::Format::h264);
  EXPECT_EQ(defaults.dataRateLimits, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(defaults.frameInterval, 0.0);

  Settings hevc({1280, 720}, 1'000'000, std::string(platform::kVTProfileLevel_HEVC_Main_AutoLevel));
  EXPECT_EQ(hevc.format, Settings::Format::hevc);
  hevc.setProfileLevel(std::string(platform::kVTProfileLevel_H264_Main_3_1));
  EXPECT_EQ(hevc.format, Settings::Format::h264);
  // Case matters.
  hevc.setProfileLevel("hevc_main");
  EXPECT_EQ(hevc.format, Settings::Format::h264);

  EXPECT_NEAR(Settings::frameInterval30, 1.0 / 30 - 0.001, 1e-15);
}

TEST(VideoCodecSettingsTests, DefaultsMakeSevenOptions) {
  const auto options = byKey(Settings::defaultSettings().sessionOptions());
  ASSERT_EQ(options.size(), 7u);
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_RealTime)), VTPropertyValue(true));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_ProfileLevel)),
            VTPropertyValue(std::string(platform::kVTProfileLevel_H264_Baseline_3_1)));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_AverageBitRate)),
            VTPropertyValue(std::int64_t{640'000}));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration)), VTPropertyValue(2));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_AllowFrameReordering)), VTPropertyValue(false));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_PixelTransferProperties)),
            VTPropertyValue(platform::VTPropertyDictionary{{"ScalingMode", "Trim"}}));
  EXPECT_EQ(options.at(key(platform::kVTCompressionPropertyKey_DataRateLimits)),
            VTPropertyValue(VTPropertyValue::List{120'000.0, 1.0}));
}

TEST(VideoCodecSettingsTests, ProfileDecidesFrameReorderingAndEntropyMode) {
  const auto reordering = key(platform::kVTCompressionPropertyKey_AllowFrameReordering);
  const auto entropy = key(platform::kVTCompressionPropertyKey_H264EntropyMode);

  Settings main({1280, 720}, 2'000'000, std::string(platform::kVTProfileLevel_H264_Main_3_1));
  auto options = byKey(main.sessionOptions());
  EXPECT_EQ(options.at(reordering), VTPropertyValue(true));
  EXPECT_EQ(options.at(entropy), VTPropertyValue(std::string(platform::kVTH264EntropyMode_CABAC)));

  main.allowFrameReordering = false;
  EXPECT_EQ(byKey(main.sessionOptions()).at(reordering), VTPropertyValue(false));

  Settings hevc({1280, 720}, 2'000'000, std::string(platform::kVTProfileLevel_HEVC_Main_AutoLevel));
  options = byKey(hevc.sessionOptions());
  EXPECT_EQ(options.at(reordering), VTPropertyValue(true));
  EXPECT_FALSE(options.contains(entropy));

  EXPECT_FALSE(byKey(broadcastSettings().sessionOptions()).contains(entropy));
}

TEST(VideoCodecSettingsTests, DataRateLimitIsDerivedOnlyForTwoEntriesInAverageMode) {
  const auto limits = key(platform::kVTCompressionPropertyKey_DataRateLimits);
  auto settings = broadcastSettings();
  EXPECT_EQ(byKey(settings.sessionOptions()).at(limits), VTPropertyValue(VTPropertyValue::List{412'500.0, 1.0}));

  settings.dataRateLimits = std::vector<double>{100'000, 0};
  EXPECT_EQ(byKey(settings.sessionOptions()).at(limits), VTPropertyValue(VTPropertyValue::List{100'000.0, 1.0}));

  settings.dataRateLimits = std::vector<double>{0, 0, 0};
  EXPECT_FALSE(byKey(settings.sessionOptions()).contains(limits));
  settings.dataRateLimits.reset();
  EXPECT_FALSE(byKey(settings.sessionOptions()).contains(limits));

  settings.dataRateLimits = std::vector<double>{0, 0};
  for (const auto& mode : {Settings::BitRateMode::constant(), Settings::BitRateMode::variable()}) {
    settings.bitRateMode = mode;
    const auto options = byKey(settings.sessionOptions());
    EXPECT_FALSE(options.contains(limits));
    EXPECT_EQ(options.at(mode.key.rawValue), VTPropertyValue(std::int64_t{2'200'000}));
    EXPECT_FALSE(options.contains(key(platform::kVTCompressionPropertyKey_AverageBitRate)));
  }
}

TEST(VideoCodecSettingsTests, OnlySessionFieldsRequireANewSession) {
  const auto base = broadcastSettings();
  const auto differs = [&](auto change) {
    auto changed = base;
    change(changed);
    return changed.requiresNewSession(base);
  };
  EXPECT_FALSE(differs([](Settings&) {}));
  EXPECT_FALSE(differs([](Settings& s) { s.bitRate = 1'100'000; }));
  EXPECT_FALSE(differs([](Settings& s) { s.frameInterval = Settings::frameInterval30; }));
  EXPECT_FALSE(differs([](Settings& s) { s.expectedFrameRate = 30; }));
  // Sizes compare as held: a fraction counts, and sizes beyond any integer
  // compare without overflowing.
  EXPECT_TRUE(differs([](Settings& s) { s.videoSize.width = 1280.4; }));
  EXPECT_TRUE(differs([](Settings& s) { s.videoSize.height = 1e12; }));
  EXPECT_FALSE(differs([](Settings& s) { s.videoSize.width = 1280.0; }));
  auto huge = base;
  huge.videoSize.width = 4294967296.0;
  auto hugeAndOne = huge;
  hugeAndOne.videoSize.width += 1;
  EXPECT_TRUE(hugeAndOne.requiresNewSession(huge)) << "a narrowing would make both the same";
  EXPECT_FALSE(huge.requiresNewSession(huge));

  EXPECT_TRUE(differs([](Settings& s) { s.videoSize.width = 1920; }));
  EXPECT_TRUE(differs([](Settings& s) { s.videoSize.height = 1080; }));
  EXPECT_TRUE(differs([](Settings& s) { s.maxKeyFrameIntervalDuration = 1; }));
  EXPECT_TRUE(differs([](Settings& s) { s.scalingMode = Settings::ScalingMode::letterbox; }));
  EXPECT_TRUE(differs([](Settings& s) { s.allowFrameReordering = false; }));
  EXPECT_TRUE(differs([](Settings& s) { s.bitRateMode = Settings::BitRateMode::constant(); }));
  EXPECT_TRUE(differs([](Settings& s) { s.setProfileLevel(std::string(platform::kVTProfileLevel_H264_Main_3_1)); }));
  EXPECT_TRUE(differs([](Settings& s) { s.dataRateLimits.reset(); }));
  EXPECT_TRUE(differs([](Settings& s) { s.dataRateLimits = std::vector<double>{0, 2}; }));
  EXPECT_TRUE(differs([](Settings& s) { s.isLowLatencyRateControlEnabled = true; }));
  EXPECT_TRUE(differs([](Settings& s) { s.isHardwareAcceleratedEnabled = false; }));
  // The codec type is fixed when the session is made.
  EXPECT_TRUE(differs([](Settings& s) { s.format = Settings::Format::hevc; }));
}

TEST(VideoCodecSettingsTests, EncodesEveryFieldUnderItsNameAndReadsItBack) {
  auto settings = broadcastSettings();
  settings.frameInterval = Settings::frameInterval30;
  auto json = nlohmann::ordered_json(settings);

  EXPECT_EQ(json["videoSize"], nlohmann::ordered_json({1280.0, 720.0}));
  EXPECT_EQ(json["bitRate"], 2'200'000);
  EXPECT_EQ(json["profileLevel"], platform::kVTProfileLevel_H264_Baseline_3_1);
  EXPECT_EQ(json["scalingMode"], "Trim");
  EXPECT_EQ(json["bitRateMode"], nlohmann::ordered_json({{"key", platform::kVTCompressionPropertyKey_AverageBitRate}}));
  EXPECT_EQ(json["maxKeyFrameIntervalDuration"], 2);
  EXPECT_EQ(json["dataRateLimits"], nlohmann::ordered_json({0.0, 0.0}));
  EXPECT_EQ(json["isLowLatencyRateControlEnabled"], false);
  EXPECT_EQ(json["isHardwareAcceleratedEnabled"], true);
  EXPECT_EQ(json["format"], nlohmann::ordered_json({{"h264", nlohmann::ordered_json::object()}}));
  // Absent optionals are left out.
  EXPECT_FALSE(json.contains("allowFrameReordering"));
  EXPECT_FALSE(json.contains("expectedFrameRate"));
  EXPECT_EQ(json.size(), 11u);

  settings.allowFrameReordering = true;
  settings.expectedFrameRate = 60;
  settings.scalingMode = Settings::ScalingMode::cropSourceToCleanAperture;
  settings.bitRateMode = Settings::BitRateMode::variable();
  json = settings;
  const auto decoded = json.get<Settings>();
  EXPECT_EQ(nlohmann::ordered_json(decoded), json);
  EXPECT_EQ(decoded.bitRateMode, Settings::BitRateMode::variable());
  EXPECT_EQ(decoded.frameInterval, Settings::frameInterval30);

  // The format is read, not derived from the profile level.
  json["format"] = {{"hevc", nlohmann::ordered_json::object()}};
  EXPECT_EQ(json.get<Settings>().format, Settings::Format::hevc);
}

TEST(VideoCodecSettingsTests, DecodingRejectsMissingOrMistypedFields) {
  const auto good = nlohmann::ordered_json(broadcastSettings());
  const auto fails = [&](auto change) {
    auto json = good;
    change(json);
    try {
      (void)json.template get<Settings>();
    } catch (const nlohmann::ordered_json::exception& error) {
      return std::string(error.what());
    }
    return std::string("decoded");
  };

  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j.erase("bitRate"); }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j.erase("format"); }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["bitRate"] = "fast"; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["bitRate"] = 1.5; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["maxKeyFrameIntervalDuration"] = 1LL << 40; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["isHardwareAcceleratedEnabled"] = 1; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["videoSize"] = {1280}; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["scalingMode"] = "Stretch"; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["dataRateLimits"] = {"a"}; }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["bitRateMode"] = nlohmann::ordered_json::object(); }), "decoded");
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j = nlohmann::ordered_json::array(); }), "decoded");

  for (const auto& format : {nlohmann::ordered_json::object(), nlohmann::ordered_json({{"h264", nlohmann::ordered_json::object()},
                                                                       {"hevc", nlohmann::ordered_json::object()}})}) {
    EXPECT_NE(
        fails([&](nlohmann::ordered_json& j) { j["format"] = format; }).find("Invalid number of keys found, expected one."),
        std::string::npos);
  }
  EXPECT_NE(fails([](nlohmann::ordered_json& j) { j["format"] = {{"vp9", nlohmann::ordered_json::object()}}; }), "decoded");

  // Optional fields may be missing or null.
  EXPECT_EQ(fails([](nlohmann::ordered_json& j) { j["expectedFrameRate"] = nullptr; }), "decoded");
  EXPECT_EQ(fails([](nlohmann::ordered_json& j) { j.erase("dataRateLimits"); }), "decoded");
}

}  // namespace
}  // namespace fluvio
