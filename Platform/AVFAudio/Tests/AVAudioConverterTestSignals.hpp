#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

// Signals and drivers shared by the converter's tests.
namespace platform::converter_testing {

using Packet = std::vector<std::uint8_t>;

// AAC LC of 1,024 frames per packet.
inline std::shared_ptr<AVAudioFormat> aacFormat(double rate, std::uint32_t channels) {
  AudioStreamBasicDescription description;
  description.mSampleRate = rate;
  description.mFormatID = kAudioFormatMPEG4AAC;
  description.mFormatFlags = 2;
  description.mFramesPerPacket = 1024;
  description.mChannelsPerFrame = channels;
  return AVAudioFormat::make(description);
}

// A sine on every channel of a float32 buffer, `startFrame` frames into the tone.
inline void fillTone(AVAudioPCMBuffer& buffer, AVAudioFrameCount frames, double frequency, float amplitude,
                     std::int64_t startFrame) {
  const double rate = buffer.format()->sampleRate();
  float* const* channels = buffer.floatChannelData();
  for (AVAudioFrameCount frame = 0; frame < frames; ++frame) {
    const auto sample = static_cast<float>(
        amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(startFrame + frame) / rate));
    for (AVAudioChannelCount channel = 0; channel < buffer.format()->channelCount(); ++channel) {
      channels[channel][frame * buffer.stride()] = sample;
    }
  }
  buffer.setFrameLength(frames);
}

// Rising zero crossings per second.
inline double zeroCrossingFrequency(std::span<const float> samples, double sampleRate) {
  std::size_t first = 0;
  std::size_t last = 0;
  std::size_t crossings = 0;
  for (std::size_t index = 1; index < samples.size(); ++index) {
    if (samples[index - 1] < 0 && samples[index] >= 0) {
      if (crossings++ == 0) first = index;
      last = index;
    }
  }
  return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * sampleRate / static_cast<double>(last - first);
}

inline double decibelsRMS(std::span<const float> samples) {
  double sum = 0;
  for (const float sample : samples) sum += double{sample} * sample;
  return 10 * std::log10(sum / static_cast<double>(samples.size()));
}

inline double toneDecibelsRMS(float amplitude) { return 20 * std::log10(amplitude / std::numbers::sqrt2); }

// An input block that gives `buffer` on the first request and no data after,
// as a caller does that pushes one buffer per conversion.
inline AVAudioConverterInputBlock giveOnce(std::shared_ptr<AVAudioBuffer> buffer) {
  auto given = std::make_shared<bool>(false);
  return [buffer = std::move(buffer), given](AVAudioPacketCount, AVAudioConverterInputStatus& status) {
    status = *given ? AVAudioConverterInputStatus::noDataNow : AVAudioConverterInputStatus::haveData;
    auto result = *given ? nullptr : buffer;
    *given = true;
    return result;
  };
}

inline AVAudioConverterInputBlock endOfStream() {
  return [](AVAudioPacketCount, AVAudioConverterInputStatus& status) {
    status = AVAudioConverterInputStatus::endOfStream;
    return std::shared_ptr<AVAudioBuffer>();
  };
}

inline std::vector<Packet> takePackets(const AVAudioCompressedBuffer& buffer) {
  std::vector<Packet> packets;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer.data());
  for (AVAudioPacketCount index = 0; index < buffer.packetCount(); ++index) {
    const auto& description = buffer.packetDescriptions()[index];
    packets.emplace_back(bytes + description.mStartOffset,
                         bytes + description.mStartOffset + description.mDataByteSize);
  }
  return packets;
}

struct EncodedTone {
  std::vector<Packet> packets;
  // Packets out after each appended block of input.
  std::vector<std::size_t> packetsAfterBlock;
};

// Encodes `blocks` blocks of `blockFrames` frames of a tone, one conversion
// round per block, then ends the stream.
inline EncodedTone encodeTone(AVAudioConverter& converter, int blocks, AVAudioFrameCount blockFrames, double frequency,
                              float amplitude) {
  EncodedTone encoded;
  auto input = AVAudioPCMBuffer::make(converter.inputFormat(), blockFrames);
  auto output = AVAudioCompressedBuffer::make(converter.outputFormat(), 1, 4096);
  auto drain = [&](const AVAudioConverterInputBlock& block) {
    while (converter.convert(*output, nullptr, block) == AVAudioConverterOutputStatus::haveData) {
      for (auto& packet : takePackets(*output)) encoded.packets.push_back(std::move(packet));
    }
  };
  for (int block = 0; block < blocks; ++block) {
    fillTone(*input, blockFrames, frequency, amplitude, std::int64_t{block} * blockFrames);
    drain(giveOnce(input));
    encoded.packetsAfterBlock.push_back(encoded.packets.size());
  }
  drain(endOfStream());
  return encoded;
}

// Decodes packet by packet; the frames of every channel, end to end.
inline std::vector<std::vector<float>> decodePackets(AVAudioConverter& converter, const std::vector<Packet>& packets) {
  std::vector<std::vector<float>> channels(converter.outputFormat()->channelCount());
  auto output = AVAudioPCMBuffer::make(converter.outputFormat(), 2048);
  for (const auto& packet : packets) {
    auto input = AVAudioCompressedBuffer::make(converter.inputFormat(), 1, packet.size());
    std::memcpy(input->data(), packet.data(), packet.size());
    input->packetDescriptions()[0] = {0, 0, static_cast<std::uint32_t>(packet.size())};
    input->setPacketCount(1);
    input->setByteLength(static_cast<std::uint32_t>(packet.size()));
    if (converter.convert(*output, nullptr, giveOnce(input)) != AVAudioConverterOutputStatus::haveData) continue;
    for (std::size_t channel = 0; channel < channels.size(); ++channel) {
      const float* samples = output->floatChannelData()[channel];
      for (AVAudioFrameCount frame = 0; frame < output->frameLength(); ++frame) {
        channels[channel].push_back(samples[frame * output->stride()]);
      }
    }
  }
  return channels;
}

}  // namespace platform::converter_testing
