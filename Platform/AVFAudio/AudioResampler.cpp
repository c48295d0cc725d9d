#include "Platform/AVFAudio/AudioResampler.hpp"

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
}

namespace platform {

namespace {

AVSampleFormat sampleFormat(AVAudioCommonFormat commonFormat, bool interleaved) {
  switch (commonFormat) {
    case AVAudioCommonFormat::pcmFormatFloat32: return interleaved ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_FLTP;
    case AVAudioCommonFormat::pcmFormatFloat64: return interleaved ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_DBLP;
    case AVAudioCommonFormat::pcmFormatInt16: return interleaved ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S16P;
    case AVAudioCommonFormat::pcmFormatInt32: return interleaved ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S32P;
    case AVAudioCommonFormat::otherFormat: break;
  }
  return AV_SAMPLE_FMT_NONE;
}

}  // namespace

std::optional<int> integerSampleRate(double sampleRate) noexcept {
  if (!(sampleRate > 0) || sampleRate != std::floor(sampleRate) || sampleRate > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(sampleRate);
}

std::optional<AudioSampleLayout> AudioSampleLayout::of(const AVAudioFormat& format) {
  const auto rate = integerSampleRate(format.sampleRate());
  const auto sample = sampleFormat(format.commonFormat(), format.isInterleaved());
  if (!rate || sample == AV_SAMPLE_FMT_NONE || format.channelCount() > maximumConvertedChannels) return std::nullopt;
  return AudioSampleLayout{sample, *rate, static_cast<int>(format.channelCount())};
}

std::unique_ptr<AudioResampler> AudioResampler::make(const AudioSampleLayout& input, const AudioSampleLayout& output,
                                                     AudioChannelMatrix matrix) {
  if (input.channels <= 0 || input.channels > maximumConvertedChannels || output.channels <= 0 ||
      output.channels > maximumConvertedChannels || input.sampleRate <= 0 || output.sampleRate <= 0 ||
      matrix.inputChannels != input.channels || matrix.outputChannels != output.channels) {
    return nullptr;
  }
  AudioFifoHandle fifo(av_audio_fifo_alloc(output.format, output.channels, 1024));
  if (!fifo) return nullptr;
  std::unique_ptr<AudioResampler> resampler(new AudioResampler(input, output, std::move(matrix), std::move(fifo)));
  if (resampler->configure() < 0) return nullptr;
  return resampler;
}

AudioResampler::AudioResampler(const AudioSampleLayout& input, const AudioSampleLayout& output,
                               AudioChannelMatrix matrix, AudioFifoHandle fifo)
    : input_(input), output_(output), matrix_(std::move(matrix)), fifo_(std::move(fifo)) {}

AudioResampler::~AudioResampler() {
  if (scratch_) av_freep(&scratch_[0]);
  av_freep(&scratch_);
}

int AudioResampler::configure() {
  AVChannelLayout inputLayout{};
  AVChannelLayout outputLayout{};
  av_channel_layout_default(&inputLayout, input_.channels);
  av_channel_layout_default(&outputLayout, output_.channels);
  SwrContext* context = nullptr;
  int status = swr_alloc_set_opts2(&context, &outputLayout, output_.format, output_.sampleRate, &inputLayout,
                                   input_.format, input_.sampleRate, 0, nullptr);
  av_channel_layout_uninit(&inputLayout);
  av_channel_layout_uninit(&outputLayout);
  ResamplerHandle handle(context);
  if (status < 0) return status;
  if ((status = swr_set_matrix(context, matrix_.weights.data(), matrix_.inputChannels)) < 0) return status;
  if ((status = swr_init(context)) < 0) return status;
  context_ = std::move(handle);
  return 0;
}

int AudioResampler::convertInto(const std::uint8_t* const* planes, int frames) {
  const int capacity = swr_get_out_samples(context_.get(), frames);
  if (capacity < 0) return capacity;
  if (capacity > scratchFrames_) {
    if (scratch_) av_freep(&scratch_[0]);
    av_freep(&scratch_);
    scratchFrames_ = 0;
    const int status =
        av_samples_alloc_array_and_samples(&scratch_, nullptr, output_.channels, capacity, output_.format, 0);
    if (status < 0) return status;
    scratchFrames_ = capacity;
  }
  const int converted =
      swr_convert(context_.get(), scratch_, scratchFrames_, const_cast<const std::uint8_t**>(planes), frames);
  if (converted <= 0) return converted;
  const int written = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(scratch_), converted);
  return written < 0 ? written : 0;
}

int AudioResampler::push(const std::uint8_t* const* planes, int frames) {
  return frames > 0 ? convertInto(planes, frames) : 0;
}

int AudioResampler::drain() { return convertInto(nullptr, 0); }

int AudioResampler::available() const noexcept { return av_audio_fifo_size(fifo_.get()); }

int AudioResampler::read(std::uint8_t* const* planes, int frames) {
  return av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(const_cast<std::uint8_t**>(planes)), frames);
}

int AudioResampler::inputFramesFor(int outputFrames) const noexcept {
  if (outputFrames <= 0) return 0;
  const auto frames = std::ceil(static_cast<double>(outputFrames) * input_.sampleRate / output_.sampleRate);
  return static_cast<int>(std::min<double>(frames, std::numeric_limits<int>::max()));
}

int AudioResampler::setMatrix(AudioChannelMatrix matrix) {
  if (matrix.inputChannels != input_.channels || matrix.outputChannels != output_.channels) return AVERROR(EINVAL);
  matrix_ = std::move(matrix);
  return configure();
}

int AudioResampler::reset() {
  av_audio_fifo_reset(fifo_.get());
  return configure();
}

}  // namespace platform
