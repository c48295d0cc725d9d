#pragma once

// Media for the writer's tests: raw pictures and PCM, the same encoded
// (H.264/HEVC samples, AAC packets), and a reader of written files.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMBlockBuffer.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"
#include "Platform/VideoToolbox/VTVideoEncoder.hpp"

namespace writertest {

using platform::CMSampleBuffer;
using platform::CMTime;

constexpr int framesPerSecond = 30;

// Frame `frame` of a 30 fps sequence of 4:2:0 pictures.
inline CMSampleBuffer rawVideoSample(int width, int height, int frame) {
  const auto picture = videotest::makeNV12(width, height, frame);
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  const platform::CMSampleTimingInfo timing{CMTime::make(1, framesPerSecond), CMTime::make(frame, framesPerSecond),
                                            CMTime::invalid};
  return *CMSampleBuffer::makeReadyWithImageBuffer(picture, format, timing).value;
}

// `count` frames from `first` on, encoded as a real-time encoder makes them:
// a key frame every `keyFrameInterval` frames.
inline std::vector<CMSampleBuffer> encodedVideoSamples(platform::CMVideoCodecType codecType, int width, int height,
                                                       int first, int count, int keyFrameInterval = 15) {
  platform::VTEncoderConfiguration configuration;
  configuration.codecType = codecType;
  configuration.bitRate = 800'000;
  configuration.realTime = true;
  configuration.allowFrameReordering = false;
  configuration.maxKeyFrameInterval = keyFrameInterval;
  platform::VTVideoEncoder encoder(width, height);
  std::vector<CMSampleBuffer> samples;
  const auto collect = [&samples](platform::OSStatus, platform::VTEncodeInfoFlags,
                                  std::shared_ptr<CMSampleBuffer> sample) {
    if (sample) samples.push_back(*sample);
  };
  for (int frame = first; frame < first + count; ++frame) {
    const auto raw = rawVideoSample(width, height, frame);
    encoder.encode(*raw.imageBuffer(), raw.presentationTimeStamp(), raw.duration(), configuration, collect);
  }
  encoder.drain();
  return samples;
}

inline std::int16_t toneSample(std::int64_t frame, double sampleRate) {
  return static_cast<std::int16_t>(8000 *
                                   std::sin(2 * std::numbers::pi * 440 * static_cast<double>(frame) / sampleRate));
}

// `frames` frames of interleaved 16-bit PCM from frame `first` of a tone on.
inline CMSampleBuffer pcmSample(double sampleRate, std::uint32_t channels, std::uint32_t frames, std::int64_t first) {
  const auto format =
      platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, sampleRate, channels, true);
  std::vector<std::int16_t> samples(std::size_t{frames} * channels);
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
      samples[std::size_t{frame} * channels + channel] = toneSample(first + frame, sampleRate);
    }
  }
  auto sample = CMSampleBuffer::makeAudio(format->formatDescription(), frames,
                                          CMTime::make(first, static_cast<std::int32_t>(sampleRate)))
                    .value;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(samples.data()),
                                            samples.size() * sizeof(std::int16_t));
  sample->setDataBufferFromAudioBuffers(std::span(&bytes, 1));
  return *sample;
}

constexpr std::uint32_t pcmBufferFrames = 960;

// 20 ms of the tone as a PCM buffer from frame `firstFrame` on, stamped
// with the host time of that frame.
inline std::pair<std::shared_ptr<platform::AVAudioPCMBuffer>, std::shared_ptr<platform::AVAudioTime>> pcmBuffer(
    std::int64_t firstFrame) {
  constexpr std::uint32_t frames = pcmBufferFrames;
  const auto format = platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true);
  auto buffer = platform::AVAudioPCMBuffer::make(format, frames);
  std::int16_t* const* channels = buffer->int16ChannelData();
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    channels[0][frame * buffer->stride()] = channels[1][frame * buffer->stride()] =
        toneSample(firstFrame + frame, 48000);
  }
  buffer->setFrameLength(frames);
  return {buffer,
          platform::AVAudioTime::make(platform::AVAudioTime::hostTime(static_cast<double>(firstFrame) / 48000))};
}

// `count` AAC packets of a tone, one sample buffer each, stamped from 0 on.
inline std::vector<CMSampleBuffer> aacSamples(double sampleRate, std::uint32_t channels, int count) {
  const auto input = platform::AVAudioFormat::makeStandard(sampleRate, channels);
  platform::AudioStreamBasicDescription stream;
  stream.mSampleRate = sampleRate;
  stream.mFormatID = platform::kAudioFormatMPEG4AAC;
  stream.mFramesPerPacket = 1024;
  stream.mChannelsPerFrame = channels;
  const auto converter = platform::AVAudioConverter::make(input, platform::AVAudioFormat::make(stream));
  std::int64_t nextFrame = 0;
  const platform::AVAudioConverterInputBlock tone = [&](platform::AVAudioPacketCount wanted,
                                                        platform::AVAudioConverterInputStatus& status) {
    auto buffer = platform::AVAudioPCMBuffer::make(input, wanted);
    for (platform::AVAudioFrameCount frame = 0; frame < wanted; ++frame) {
      for (std::uint32_t channel = 0; channel < channels; ++channel) {
        buffer->floatChannelData()[channel][frame] = toneSample(nextFrame + frame, sampleRate) / 32768.0f;
      }
    }
    buffer->setFrameLength(wanted);
    nextFrame += wanted;
    status = platform::AVAudioConverterInputStatus::haveData;
    return std::static_pointer_cast<platform::AVAudioBuffer>(buffer);
  };
  std::vector<CMSampleBuffer> samples;
  const auto rate = static_cast<std::int32_t>(sampleRate);
  while (static_cast<int>(samples.size()) < count) {
    auto packet = platform::AVAudioCompressedBuffer::make(converter->outputFormat(), 1, 8192);
    converter->convert(*packet, nullptr, tone);
    if (packet->packetCount() == 0) continue;
    const std::size_t size = packet->byteLength();
    const auto* bytes = static_cast<const std::uint8_t*>(packet->data());
    const platform::CMSampleTimingInfo timing{CMTime::make(1024, rate),
                                              CMTime::make(1024 * static_cast<std::int64_t>(samples.size()), rate),
                                              CMTime::invalid};
    samples.push_back(*CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector(bytes, bytes + size)), true,
                                            converter->outputFormat()->formatDescription(), 1, std::span(&timing, 1),
                                            std::span(&size, 1))
                           .value);
  }
  return samples;
}

// What an independent reader finds in a written file: each stream with its
// codec and geometry, and what decoding every packet gives.
struct StreamReport {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0;
  int height = 0;
  int sampleRate = 0;
  int channels = 0;
  int packets = 0;
  int keyPackets = 0;
  int decodedFrames = 0;
  int decodeErrors = 0;
  // What the container says, its edit list applied: priming dropped, a late start kept.
  double startTime = 0;
  double endTime = 0;  // of the last packet, its duration included
};

inline std::vector<StreamReport> readMovie(const std::filesystem::path& path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return {};
  avformat_find_stream_info(context, nullptr);
  std::vector<StreamReport> reports(context->nb_streams);
  std::vector<AVCodecContext*> decoders(context->nb_streams, nullptr);
  for (unsigned index = 0; index < context->nb_streams; ++index) {
    const AVCodecParameters& parameters = *context->streams[index]->codecpar;
    reports[index] = {parameters.codec_type, parameters.codec_id,    parameters.width,
                      parameters.height,     parameters.sample_rate, parameters.ch_layout.nb_channels};
    const AVStream& stream = *context->streams[index];
    if (stream.start_time != AV_NOPTS_VALUE)
      reports[index].startTime = static_cast<double>(stream.start_time) * av_q2d(stream.time_base);
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    decoders[index] = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (decoders[index]) {
      avcodec_parameters_to_context(decoders[index], &parameters);
      avcodec_open2(decoders[index], codec, nullptr);
    }
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto receive = [&](unsigned index) {
    while (avcodec_receive_frame(decoders[index], frame) == 0) ++reports[index].decodedFrames;
  };
  while (av_read_frame(context, packet) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    StreamReport& report = reports[index];
    const AVRational timeBase = context->streams[index]->time_base;
    const double time = static_cast<double>(packet->pts) * av_q2d(timeBase);
    report.endTime = std::max(report.endTime, time + static_cast<double>(packet->duration) * av_q2d(timeBase));
    ++report.packets;
    if (packet->flags & AV_PKT_FLAG_KEY) ++report.keyPackets;
    if (decoders[index]) {
      if (avcodec_send_packet(decoders[index], packet) < 0) ++report.decodeErrors;
      receive(index);
    }
    av_packet_unref(packet);
  }
  for (unsigned index = 0; index < decoders.size(); ++index) {
    if (!decoders[index]) continue;
    avcodec_send_packet(decoders[index], nullptr);
    receive(index);
    avcodec_free_context(&decoders[index]);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&context);
  return reports;
}

inline const StreamReport* findStream(const std::vector<StreamReport>& reports, AVMediaType type) {
  for (const auto& report : reports) {
    if (report.type == type) return &report;
  }
  return nullptr;
}

}  // namespace writertest
