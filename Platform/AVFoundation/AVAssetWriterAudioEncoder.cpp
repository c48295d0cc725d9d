#include "Platform/AVFoundation/AVAssetWriterAudioEncoder.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "Platform/AVFAudio/AVAudioFormat.hpp"

namespace platform {
namespace {

constexpr std::int64_t preferredBitRatePerChannel = 64'000;

// The preferred rate when the encoder takes it, else the closest it takes.
std::int64_t defaultBitRate(int sampleRate, int channels) {
  const auto rates = AudioPacketEncoder::applicableBitRates(kAudioFormatMPEG4AAC, sampleRate, channels);
  const std::int64_t preferred = preferredBitRatePerChannel * channels;
  if (rates.empty()) return preferred;
  const auto closest = std::min_element(rates.begin(), rates.end(), [preferred](std::int64_t lhs, std::int64_t rhs) {
    return std::llabs(lhs - preferred) < std::llabs(rhs - preferred);
  });
  return *closest;
}

AVAssetWriterError encodingFailed(const std::string& what, int code) {
  return {AVAssetWriterError::Case::encodingFailed, what + ": " + libavErrorString(code)};
}

}  // namespace

std::unique_ptr<AVAssetWriterAudioEncoder> AVAssetWriterAudioEncoder::make(
    const AVAudioOutputSettings& settings, const std::shared_ptr<const CMFormatDescription>& source) {
  const auto* stream = source ? source->audioStreamBasicDescription() : nullptr;
  if (!stream || stream->mFormatID != kAudioFormatLinearPCM) return nullptr;
  const auto format = AVAudioFormat::make(source);
  const auto input = format ? AudioSampleLayout::of(*format) : std::nullopt;
  if (!input) return nullptr;

  const int sampleRate = settings.sampleRate.value_or(input->sampleRate);
  const int channels = settings.channels.value_or(input->channels);
  const std::int64_t bitRate = settings.bitRate.value_or(defaultBitRate(sampleRate, channels));
  auto encoder = AudioPacketEncoder::make({kAudioFormatMPEG4AAC, sampleRate, channels, bitRate, 0});
  if (!encoder) return nullptr;
  const AudioSampleLayout output{encoder->sampleFormat(), sampleRate, channels};
  auto matrix = channels < input->channels ? AudioChannelMatrix::downmixed(input->channels, channels)
                                           : AudioChannelMatrix::identity(input->channels, channels);
  auto resampler = AudioResampler::make(*input, output, std::move(matrix));
  if (!resampler) return nullptr;
  return std::unique_ptr<AVAssetWriterAudioEncoder>(
      new AVAssetWriterAudioEncoder(source, std::move(resampler), std::move(encoder), bitRate));
}

AVAssetWriterAudioEncoder::AVAssetWriterAudioEncoder(std::shared_ptr<const CMFormatDescription> source,
                                                     std::unique_ptr<AudioResampler> resampler,
                                                     std::unique_ptr<AudioPacketEncoder> encoder, std::int64_t bitRate)
    : source_(std::move(source)), resampler_(std::move(resampler)), encoder_(std::move(encoder)), bitRate_(bitRate) {}

AVAssetWriterTrackFormat AVAssetWriterAudioEncoder::trackFormat() const {
  const AudioSampleLayout& output = resampler_->output();
  CodecParametersHandle parameters(avcodec_parameters_alloc());
  if (!parameters) return {};
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = AV_CODEC_ID_AAC;
  parameters->sample_rate = output.sampleRate;
  av_channel_layout_default(&parameters->ch_layout, output.channels);
  parameters->frame_size = encoder_->frameSize();
  parameters->bit_rate = bitRate_;
  const auto& cookie = encoder_->magicCookie();
  parameters->extradata = static_cast<std::uint8_t*>(av_mallocz(cookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!parameters->extradata) return {};
  std::copy(cookie.begin(), cookie.end(), parameters->extradata);
  parameters->extradata_size = static_cast<int>(cookie.size());
  return {std::move(parameters), {1, output.sampleRate}};
}

std::optional<AVAssetWriterError> AVAssetWriterAudioEncoder::place(const CMSampleBuffer& sampleBuffer,
                                                                   AVAssetWriterMuxer& muxer, int track,
                                                                   std::size_t& skippedFrames) {
  skippedFrames = 0;
  if (start_) return std::nullopt;
  const int inputRate = resampler_->input().sampleRate;
  const auto offset = muxer.sessionTicks(sampleBuffer.presentationTimeStamp(), {1, inputRate});
  if (!offset) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "the sample has no presentation time");
  }
  const auto frames = static_cast<std::int64_t>(sampleBuffer.numSamples());
  if (*offset + frames <= 0) {
    skippedFrames = sampleBuffer.numSamples();
    return std::nullopt;
  }
  skippedFrames = static_cast<std::size_t>(std::max<std::int64_t>(-*offset, 0));
  start_ = av_rescale_q_rnd(std::max<std::int64_t>(*offset, 0), {1, inputRate}, {1, resampler_->output().sampleRate},
                            AV_ROUND_NEAR_INF);
  auto format = trackFormat();
  if (!format.parameters) return AVAssetWriterError(AVAssetWriterError::Case::fileWriteFailed, "out of memory");
  muxer.setFormat(track, std::move(format));
  return std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterAudioEncoder::append(const CMSampleBuffer& sampleBuffer,
                                                                    AVAssetWriterMuxer& muxer, int track) {
  if (!equalFormatDescriptions(source_, sampleBuffer.formatDescription())) {
    return AVAssetWriterError(AVAssetWriterError::Case::mediaNotSupported, "the track's audio format cannot change");
  }
  const auto& stream = *source_->audioStreamBasicDescription();
  const auto& block = sampleBuffer.dataBuffer();
  const std::size_t frames = sampleBuffer.numSamples();
  const std::size_t planes = stream.isNonInterleaved() ? stream.mChannelsPerFrame : 1;
  const std::size_t planeBytes = frames * stream.mBytesPerFrame;
  if (!block || !sampleBuffer.dataIsReady() || planes > maximumConvertedChannels ||
      block->dataLength() < planeBytes * planes) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "the sample's data does not hold its frames");
  }

  std::size_t skipped = 0;
  if (auto error = place(sampleBuffer, muxer, track, skipped)) return error;
  if (skipped >= frames) return std::nullopt;
  std::array<const std::uint8_t*, maximumConvertedChannels> pointers{};
  for (std::size_t plane = 0; plane < planes; ++plane) {
    pointers[plane] = block->data().data() + plane * planeBytes + skipped * stream.mBytesPerFrame;
  }
  if (const int status = resampler_->push(pointers.data(), static_cast<int>(frames - skipped)); status < 0) {
    return encodingFailed("cannot convert the audio", status);
  }
  while (resampler_->available() >= encoder_->frameSize()) {
    if (auto error = encode(encoder_->frameSize())) return error;
  }
  return handOn(muxer, track);
}

std::optional<AVAssetWriterError> AVAssetWriterAudioEncoder::encode(int frames) {
  const int status = encoder_->encode(*resampler_, frames);
  return status < 0 ? std::optional(encodingFailed("cannot encode the audio", status)) : std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterAudioEncoder::finish(AVAssetWriterMuxer& muxer, int track) {
  if (!start_) return std::nullopt;
  if (const int status = resampler_->drain(); status < 0) return encodingFailed("cannot convert the audio", status);
  while (resampler_->available() > 0) {
    if (auto error = encode(std::min(resampler_->available(), encoder_->frameSize()))) return error;
  }
  if (const int status = encoder_->flush(); status < 0) return encodingFailed("cannot finish the audio", status);
  return handOn(muxer, track);
}

std::optional<AVAssetWriterError> AVAssetWriterAudioEncoder::handOn(AVAssetWriterMuxer& muxer, int track) {
  auto& packets = encoder_->packets();
  while (!packets.empty()) {
    const AudioPacket& encoded = packets.front();
    PacketHandle packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(encoded.bytes.size())) < 0) {
      return encodingFailed("cannot hand on the audio", AVERROR(ENOMEM));
    }
    std::copy(encoded.bytes.begin(), encoded.bytes.end(), packet->data);
    packet->pts = encoded.presentationTime + *start_;
    packet->dts = packet->pts;
    packet->duration = encoder_->frameSize();
    packets.pop_front();
    if (auto error = muxer.write(track, std::move(packet))) return error;
  }
  return std::nullopt;
}

}  // namespace platform
