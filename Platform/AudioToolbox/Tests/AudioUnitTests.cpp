#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/AudioToolbox/AudioUnit.hpp"
#include "Platform/AudioToolbox/DeviceOutputUnit.hpp"

namespace platform {
namespace {

std::shared_ptr<AVAudioFormat> stereo16(double rate = 48000) {
  return AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, rate, 2, true);
}

// A constant stereo level per bus, in 16-bit samples.
struct Source {
  std::int16_t level;
  static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, std::uint32_t,
                         std::uint32_t frames, AudioBufferList* data) {
    auto* samples = static_cast<std::int16_t*>(data->mBuffers[0].mData);
    for (std::uint32_t i = 0; i < frames * 2; ++i) samples[i] = static_cast<Source*>(refCon)->level;
    return noErr;
  }
};

struct Unit {
  AudioUnit unit = nullptr;
  explicit Unit(FourCharCode type, FourCharCode subType) {
    AudioComponentDescription description{type, subType, kAudioUnitManufacturer_Apple, 0, 0};
    EXPECT_EQ(AudioComponentInstanceNew(AudioComponentFindNext(nullptr, &description), &unit), noErr);
  }
  ~Unit() { AudioComponentInstanceDispose(unit); }
  OSStatus setFormat(AudioUnitScope scope, std::uint32_t element, const AVAudioFormat& format) {
    const auto& description = format.streamDescription();
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, element, &description,
                                sizeof description);
  }
  OSStatus setSource(std::uint32_t element, Source& source) {
    AURenderCallbackStruct callback{&Source::render, &source};
    return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element, &callback,
                                sizeof callback);
  }
};

struct MixCase {
  const char* name;
  std::vector<std::int16_t> levels;
  std::vector<float> volumes;
  std::vector<bool> enabled;
  float outputVolume;
  std::int16_t expected;
};

class MixerUnitMixes : public testing::TestWithParam<MixCase> {};

// The generic output pulls the mixer through a connection, as a graph does.
TEST_P(MixerUnitMixes, SumsEnabledBusesScaledAndSaturated) {
  const auto& mixCase = GetParam();
  auto format = stereo16();
  Unit mixer(kAudioUnitType_Mixer, kAudioUnitSubType_MultiChannelMixer);
  Unit output(kAudioUnitType_Output, kAudioUnitSubType_GenericOutput);
  std::uint32_t count = static_cast<std::uint32_t>(mixCase.levels.size());
  ASSERT_EQ(AudioUnitSetProperty(mixer.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &count,
                                 sizeof count), noErr);
  std::vector<Source> sources;
  for (auto level : mixCase.levels) sources.push_back({level});
  for (std::uint32_t bus = 0; bus < count; ++bus) {
    ASSERT_EQ(mixer.setFormat(kAudioUnitScope_Input, bus, *format), noErr);
    ASSERT_EQ(mixer.setSource(bus, sources[bus]), noErr);
    ASSERT_EQ(AudioUnitSetParameter(mixer.unit, kMultiChannelMixerParam_Volume, kAudioUnitScope_Input, bus,
                                    mixCase.volumes[bus], 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(mixer.unit, kMultiChannelMixerParam_Enable, kAudioUnitScope_Input, bus,
                                    mixCase.enabled[bus] ? 1.0f : 0.0f, 0), noErr);
  }
  ASSERT_EQ(mixer.setFormat(kAudioUnitScope_Output, 0, *format), noErr);
  ASSERT_EQ(AudioUnitSetParameter(mixer.unit, kMultiChannelMixerParam_Volume, kAudioUnitScope_Output, 0,
                                  mixCase.outputVolume, 0), noErr);
  ASSERT_EQ(output.setFormat(kAudioUnitScope_Input, 0, *format), noErr);
  ASSERT_EQ(output.setFormat(kAudioUnitScope_Output, 0, *format), noErr);
  AudioUnitConnection connection{mixer.unit, 0, 0};
  ASSERT_EQ(AudioUnitSetProperty(output.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                 &connection, sizeof connection), noErr);

  auto buffer = AVAudioPCMBuffer::make(format, 1024);
  buffer->setFrameLength(1024);
  AudioTimeStamp stamp{0, 0, kAudioTimeStampSampleTimeValid};
  EXPECT_EQ(AudioUnitRender(output.unit, nullptr, &stamp, 0, 1024, buffer->mutableAudioBufferList()),
            kAudioUnitErr_Uninitialized);
  ASSERT_EQ(AudioUnitInitialize(mixer.unit), noErr);
  ASSERT_EQ(AudioUnitInitialize(output.unit), noErr);
  ASSERT_EQ(AudioUnitRender(output.unit, nullptr, &stamp, 0, 1024, buffer->mutableAudioBufferList()), noErr);
  const auto* samples = buffer->int16ChannelData()[0];
  EXPECT_EQ(samples[0], mixCase.expected);
  EXPECT_EQ(samples[2047], mixCase.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, MixerUnitMixes,
    testing::Values(MixCase{"sum", {1000, 2000, -500}, {1, 1, 1}, {true, true, true}, 1, 2500},
                    MixCase{"volumes", {1000, 2000}, {0.5f, 0.25f}, {true, true}, 1, 1000},
                    MixCase{"disabledBus", {1000, 2000}, {1, 1}, {true, false}, 1, 1000},
                    MixCase{"outputVolume", {1000, 2000}, {1, 1}, {true, true}, 0.5f, 1500},
                    MixCase{"saturatesHigh", {30000, 30000}, {1, 1}, {true, true}, 1, 32767},
                    MixCase{"saturatesLow", {-30000, -30000}, {1, 1}, {true, true}, 1, -32768},
                    MixCase{"justBelowLimit", {32000, 767}, {1, 1}, {true, true}, 1, 32767}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MixerUnit, RefusesWhatItCannotMix) {
  Unit mixer(kAudioUnitType_Mixer, kAudioUnitSubType_MultiChannelMixer);
  ASSERT_EQ(mixer.setFormat(kAudioUnitScope_Output, 0, *stereo16()), noErr);
  ASSERT_EQ(mixer.setFormat(kAudioUnitScope_Input, 0, *stereo16(44100)), noErr);
  EXPECT_EQ(AudioUnitInitialize(mixer.unit), kAudioUnitErr_FormatNotSupported);
  EXPECT_EQ(mixer.setFormat(kAudioUnitScope_Input, 8, *stereo16()), kAudioUnitErr_InvalidElement);
  std::uint32_t size = sizeof(std::uint32_t);
  std::uint32_t count = 0;
  ASSERT_EQ(AudioUnitGetProperty(mixer.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &count, &size),
            noErr);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(AudioUnitSetParameter(mixer.unit, kMultiChannelMixerParam_Enable, kAudioUnitScope_Output, 0, 1, 0),
            kAudioUnitErr_InvalidParameter);
}

// The device output converts its 44.1 kHz input to the device's 48 kHz on
// the device's clock, and plays what the callback gives.
TEST(DeviceOutputUnit, PlaysItsInputThroughTheDeviceFormat) {
  std::vector<std::int16_t> played;
  std::shared_ptr<NullAudioDevice> device;
  DeviceOutputUnit::setDeviceFactory([&] {
    device = NullAudioDevice::make(stereo16(), 480, NullAudioDevice::Clock::manual, [&](const AVAudioPCMBuffer& period) {
      const auto* samples = period.int16ChannelData()[0];
      played.insert(played.end(), samples, samples + period.frameLength() * 2);
    });
    return device;
  });
  Unit speaker(kAudioUnitType_Output, kAudioUnitSubType_RemoteIO);
  Source source{8000};
  ASSERT_EQ(speaker.setFormat(kAudioUnitScope_Input, 0, *stereo16(44100)), noErr);
  ASSERT_EQ(speaker.setSource(0, source), noErr);
  EXPECT_EQ(AudioOutputUnitStart(speaker.unit), kAudioUnitErr_Uninitialized);
  ASSERT_EQ(AudioUnitInitialize(speaker.unit), noErr);
  ASSERT_EQ(AudioOutputUnitStart(speaker.unit), noErr);
  device->advance(20);
  ASSERT_EQ(played.size(), 20u * 480 * 2);
  // Past the resampler's start-up, the level is the source's.
  EXPECT_NEAR(played[played.size() / 2], 8000, 40);
  EXPECT_NEAR(played.back(), 8000, 40);
  EXPECT_EQ(AudioOutputUnitStop(speaker.unit), noErr);
  device->advance(1);
  EXPECT_EQ(played.size(), 20u * 480 * 2);
  DeviceOutputUnit::setDeviceFactory({});
}

}  // namespace
}  // namespace platform
