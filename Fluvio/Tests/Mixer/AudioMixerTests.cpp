#include <gtest/gtest.h>

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerByMultiTrack.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerBySingleTrack.hpp"
#include "Fluvio/Tests/Mixer/MixerTestSupport.hpp"

namespace fluvio {
namespace {

using testing::int16Format;
using testing::MixedBlock;
using testing::RecordingMixerDelegate;
using testing::ToneSource;

struct Mixers {
  std::unique_ptr<AudioMixer> mixer;
  std::shared_ptr<RecordingMixerDelegate> output = std::make_shared<RecordingMixerDelegate>();

  explicit Mixers(bool multiTrack, AudioMixerSettings settings = {}) {
    if (multiTrack) {
      mixer = std::make_unique<AudioMixerByMultiTrack>();
    } else {
      mixer = std::make_unique<AudioMixerBySingleTrack>();
    }
    mixer->setDelegate(output);
    mixer->setSettings(std::move(settings));
  }
  void feed(ToneSource& source, std::uint8_t track, std::uint32_t frames) {
    auto [buffer, when] = source.next(frames);
    mixer->append(*buffer, when, track);
  }
  std::int16_t sampleOf(std::size_t block) const { return output->blocks.at(block).samples.at(1); }
};

class EachMixer : public ::testing::TestWithParam<bool> {};

// Blocks of 1,024 frames whose times follow one another, for appends of any
// size, including ones that do not complete a block.
TEST_P(EachMixer, DeliversContiguousBlocksAtTheMainTracksPace) {
  Mixers mixers(GetParam());
  ToneSource main{int16Format(48000), 1000};
  mixers.feed(main, 0, 700);
  EXPECT_TRUE(mixers.output->blocks.empty());  // not too early
  mixers.feed(main, 0, 700);
  ASSERT_EQ(mixers.output->blocks.size(), 1u);
  for (int i = 0; i < 20; ++i) mixers.feed(main, 0, 333 + 97 * i);
  const auto& blocks = mixers.output->blocks;
  ASSERT_EQ(blocks.size(), (1400u + 20u * 333u + 97u * 190u) / 1024u);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].samples.size(), 2048u);
    EXPECT_EQ(blocks[i].sampleTime, blocks[0].sampleTime + std::int64_t(i) * 1024);
    EXPECT_EQ(blocks[i].hostTime, main.hostStart + std::uint64_t(std::llround(double(i) * 1024 / 48000 * 1e9)));
    EXPECT_EQ(blocks[i].samples[0], 1000);
  }
}

// 44.1 kHz in, 48 kHz out: every converted frame comes out, none twice.
TEST_P(EachMixer, ResamplesWithoutLosingFrames) {
  AudioMixerSettings settings;
  settings.sampleRate = 48000;
  Mixers mixers(GetParam(), settings);
  ToneSource main{int16Format(44100), 8000, 440};
  for (int i = 0; i < 100; ++i) mixers.feed(main, 0, 441);  // one second
  const auto& blocks = mixers.output->blocks;
  // 48,000 frames less the resampler's filter delay, which is below one block.
  EXPECT_EQ(blocks.size(), 46u);
  for (std::size_t i = 1; i < blocks.size(); ++i) EXPECT_EQ(blocks[i].sampleTime - blocks[i - 1].sampleTime, 1024);
  EXPECT_EQ(blocks[0].sampleRate, 48000);
  // The tone keeps its pitch: 440 Hz crosses zero upwards 440 times a second.
  std::vector<std::int16_t> left;
  for (const auto& block : blocks) {
    for (std::size_t s = 0; s < block.samples.size(); s += 2) left.push_back(block.samples[s]);
  }
  int crossings = 0;
  for (std::size_t s = 1; s < left.size(); ++s) crossings += left[s - 1] < 0 && left[s] >= 0;
  EXPECT_NEAR(crossings, 440.0 * double(left.size()) / 48000, 2);
}

TEST_P(EachMixer, MutesWithTheSameTiming) {
  AudioMixerSettings settings;
  settings.isMuted = true;
  Mixers mixers(GetParam(), settings);
  ToneSource main{int16Format(48000), 1000};
  for (int i = 0; i < 4; ++i) mixers.feed(main, 0, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 4u);
  EXPECT_EQ(mixers.sampleOf(3), 0);
  EXPECT_EQ(mixers.output->blocks[3].sampleTime - mixers.output->blocks[0].sampleTime, 3072);
  settings.isMuted = false;
  mixers.mixer->setSettings(settings);
  mixers.feed(main, 0, 1024);
  EXPECT_EQ(mixers.sampleOf(4), 1000);
}

// Track settings given before the track's first buffer apply to it.
TEST_P(EachMixer, TrackSettingsApplyBeforeTheFirstBuffer) {
  AudioMixerSettings settings;
  settings.tracks[0].isMuted = true;
  Mixers mixers(GetParam(), settings);
  ToneSource main{int16Format(48000), 1000};
  mixers.feed(main, 0, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 1u);
  EXPECT_EQ(mixers.sampleOf(0), 0);
  // A new input format rebuilds the pipeline and keeps the settings.
  ToneSource mono{int16Format(48000, 1), 1000, 0, 1024};
  mixers.feed(mono, 0, 2048);
  ASSERT_GE(mixers.output->blocks.size(), 2u);
  EXPECT_EQ(mixers.output->blocks.back().samples[1], 0);
}

TEST_P(EachMixer, MonoInputFeedsBothChannels) {
  Mixers mixers(GetParam(), AudioMixerSettings(0, 2, false, 0, {}));
  ToneSource mono{int16Format(48000, 1), 1234};
  mixers.feed(mono, 0, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 1u);
  EXPECT_EQ(mixers.output->blocks[0].samples[0], 1234);
  EXPECT_EQ(mixers.output->blocks[0].samples[1], 1234);
}

// Audio that cannot be converted is dropped; the next good buffer starts over.
TEST_P(EachMixer, DropsAudioItCannotConvert) {
  Mixers mixers(GetParam());
  ToneSource main{int16Format(48000), 1000};
  mixers.feed(main, 0, 1024);
  // Packed 24-bit samples: PCM that no converter here takes.
  platform::AudioStreamBasicDescription packed24{48000, platform::kAudioFormatLinearPCM,
                                                 platform::kAudioFormatFlagIsSignedInteger | platform::kAudioFormatFlagIsPacked,
                                                 6, 1, 6, 2, 24, 0};
  auto odd = platform::AVAudioPCMBuffer::make(platform::AVAudioFormat::make(packed24), 2048);
  ASSERT_NE(odd, nullptr);
  odd->setFrameLength(2048);
  mixers.mixer->append(*odd, platform::AVAudioTime::make(1'100'000'000, 1024, 48000), 0);
  EXPECT_EQ(mixers.output->blocks.size(), 1u);
  EXPECT_TRUE(mixers.mixer->inputFormats().empty());
  mixers.feed(main, 0, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 2u);
  EXPECT_EQ(mixers.sampleOf(1), 1000);
}

INSTANTIATE_TEST_SUITE_P(Mixers, EachMixer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "multiTrack" : "singleTrack"; });

TEST(SingleTrackMixer, IgnoresEveryTrackButTheMain) {
  Mixers mixers(false);
  ToneSource other{int16Format(48000), 3000};
  mixers.feed(other, 1, 4096);
  EXPECT_TRUE(mixers.output->blocks.empty());
  EXPECT_EQ(mixers.mixer->outputFormat(), nullptr);
}

struct MixCase {
  const char* name;
  std::vector<std::uint8_t> ids;  // the first is the main track
  std::vector<double> levels;
  std::vector<float> volumes;
  std::int16_t expected;
  std::uint32_t busCount;
};

class MultiTrackMix : public ::testing::TestWithParam<MixCase> {};

TEST_P(MultiTrackMix, SumsTracksAtTheirVolumes) {
  const auto& mix = GetParam();
  AudioMixerSettings settings;
  settings.mainTrack = mix.ids[0];
  for (std::size_t i = 0; i < mix.ids.size(); ++i) settings.tracks[mix.ids[i]].volume = mix.volumes[i];
  Mixers mixers(true, settings);
  std::vector<ToneSource> sources;
  for (auto level : mix.levels) sources.push_back({int16Format(48000), level});
  mixers.feed(sources[0], mix.ids[0], 1024);  // the main track opens the graph
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 1; i < mix.ids.size(); ++i) mixers.feed(sources[i], mix.ids[i], 1024);
    mixers.feed(sources[0], mix.ids[0], 1024);
  }
  ASSERT_EQ(mixers.output->blocks.size(), 4u);
  EXPECT_EQ(mixers.sampleOf(3), mix.expected);
  EXPECT_EQ(static_cast<AudioMixerByMultiTrack&>(*mixers.mixer).busCount(), mix.busCount);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, MultiTrackMix,
    ::testing::Values(MixCase{"sum", {0, 1}, {1000, 2000}, {1, 1}, 3000, 2},
                      MixCase{"fourTracks", {0, 1, 2, 3}, {1000, 2000, 3000, -500}, {1, 1, 1, 1}, 5500, 4},
                      MixCase{"volumeClampedToOne", {0, 1}, {1000, 2000}, {1, 2}, 3000, 2},
                      MixCase{"volumeClampedToZero", {0, 1}, {1000, 2000}, {1, -1}, 1000, 2},
                      MixCase{"halfVolume", {0, 1}, {1000, 2000}, {1, 0.5f}, 2000, 2},
                      MixCase{"saturates", {0, 1}, {30000, 30000}, {1, 1}, 32767, 2},
                      MixCase{"sparseIds", {0, 5}, {1000, 2000}, {1, 1}, 3000, 6},
                      MixCase{"mainNotFirst", {7, 2}, {1000, -3000}, {1, 1}, -2000, 8}),
    [](const auto& info) { return std::string(info.param.name); });

// A running graph takes new volumes from the next block on, for the main
// track as for the others, and a block already mixed keeps its level.
TEST(MultiTrackMixer, VolumesChangedWhileRunningApplyFromTheNextBlock) {
  Mixers mixers(true);
  ToneSource main{int16Format(48000), 1000};
  ToneSource other{int16Format(48000), 2000};
  const auto mixBlock = [&] {
    mixers.feed(other, 1, 1024);
    mixers.feed(main, 0, 1024);
  };
  mixBlock();
  mixBlock();
  ASSERT_EQ(mixers.output->blocks.size(), 2u);
  EXPECT_EQ(mixers.sampleOf(1), 3000);

  auto settings = mixers.mixer->settings();
  settings.tracks[1].volume = 0.5f;
  mixers.mixer->setSettings(settings);
  EXPECT_EQ(mixers.sampleOf(1), 3000) << "a delivered block is not mixed again";
  mixBlock();
  ASSERT_EQ(mixers.output->blocks.size(), 3u);
  EXPECT_EQ(mixers.sampleOf(2), 1000 + 1000);

  settings.tracks[0].volume = 0.5f;
  mixers.mixer->setSettings(settings);
  mixBlock();
  EXPECT_EQ(mixers.sampleOf(3), 500 + 1000);

  settings.tracks[0].volume = 1;
  settings.tracks[1].volume = 1;
  mixers.mixer->setSettings(settings);
  mixBlock();
  EXPECT_EQ(mixers.sampleOf(4), 3000) << "back to full volume";
}

TEST(MultiTrackMixer, OtherTracksWaitForTheMainTrackAndFallSilent) {
  Mixers mixers(true);
  ToneSource main{int16Format(48000), 1000};
  ToneSource other{int16Format(48000), 2000};
  mixers.feed(other, 1, 2048);  // before the main track: no track, no output
  EXPECT_TRUE(mixers.output->blocks.empty());
  EXPECT_TRUE(mixers.mixer->inputFormats().empty());
  mixers.feed(main, 0, 1024);
  mixers.feed(other, 1, 1024);
  mixers.feed(main, 0, 1024);
  mixers.feed(main, 0, 1024);  // track 1 has nothing more: silence
  ASSERT_EQ(mixers.output->blocks.size(), 3u);
  EXPECT_EQ(mixers.sampleOf(0), 1000);
  EXPECT_EQ(mixers.sampleOf(1), 3000);
  EXPECT_EQ(mixers.sampleOf(2), 1000);
  EXPECT_EQ(mixers.mixer->inputFormats().size(), 2u);
}

TEST(MultiTrackMixer, SwitchingTheMainTrackHandsThePaceOver) {
  Mixers mixers(true);
  ToneSource first{int16Format(48000), 1000};
  ToneSource second{int16Format(48000), 2000};
  mixers.feed(first, 0, 1024);
  mixers.feed(second, 1, 1024);
  mixers.feed(first, 0, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 2u);
  auto settings = mixers.mixer->settings();
  settings.mainTrack = 1;
  mixers.mixer->setSettings(settings);
  mixers.feed(first, 0, 1024);  // no longer paces the output
  EXPECT_EQ(mixers.output->blocks.size(), 2u);
  mixers.feed(second, 1, 1024);
  ASSERT_EQ(mixers.output->blocks.size(), 3u);
  EXPECT_EQ(mixers.sampleOf(2), 3000);
  EXPECT_EQ(mixers.output->blocks[2].sampleTime - mixers.output->blocks[1].sampleTime, 1024);
}

TEST(MultiTrackMixer, RebuildsOnlyForRateAndChannels) {
  Mixers mixers(true);
  ToneSource main{int16Format(48000), 1000};
  mixers.feed(main, 0, 1024);
  const auto format = mixers.mixer->outputFormat();
  auto settings = mixers.mixer->settings();
  settings.maximumNumberOfChannels = 6;
  mixers.mixer->setSettings(settings);
  EXPECT_EQ(mixers.mixer->outputFormat(), format);
  settings.sampleRate = 32000;
  mixers.mixer->setSettings(settings);
  ASSERT_NE(mixers.mixer->outputFormat(), format);
  EXPECT_EQ(mixers.mixer->outputFormat()->sampleRate(), 32000);
}

}  // namespace
}  // namespace fluvio
