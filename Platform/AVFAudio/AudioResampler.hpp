#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AudioChannelMatrix.hpp"
#include "Platform/AVFAudio/LibavHandles.hpp"

namespace platform {

// A sample rate as the library takes it: a whole number of hertz that fits an int.
std::optional<int> integerSampleRate(double sampleRate) noexcept;

// Sample format, rate and channel count of a stretch of PCM.
struct AudioSampleLayout {
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;
  int sampleRate = 0;
  int channels = 0;

  // Nothing for an integer rate that does not fit, or a common format the
  // converter does not handle.
  static std::optional<AudioSampleLayout> of(const AVAudioFormat& format);

  friend bool operator==(const AudioSampleLayout&, const AudioSampleLayout&) = default;
};

// Converts PCM of one layout into another (rate, sample format, channels
// through a matrix) and queues the result until it is read.
class AudioResampler {
 public:
  // Null when the library refuses the pair.
  static std::unique_ptr<AudioResampler> make(const AudioSampleLayout& input, const AudioSampleLayout& output,
                                              AudioChannelMatrix matrix);
  ~AudioResampler();

  AudioResampler(const AudioResampler&) = delete;
  AudioResampler& operator=(const AudioResampler&) = delete;

  const AudioSampleLayout& input() const noexcept { return input_; }
  const AudioSampleLayout& output() const noexcept { return output_; }

  // `planes` hold `frames` frames of the input layout (one plane when packed).
  // Returns a negative library code on failure.
  int push(const std::uint8_t* const* planes, int frames);
  // Pushes out the frames held back by the rate filter (end of stream).
  int drain();
  // Converted frames waiting to be read.
  int available() const noexcept;
  // Moves up to `frames` converted frames into `planes`; returns how many.
  int read(std::uint8_t* const* planes, int frames);
  // Input frames that yield about `outputFrames` more converted frames.
  int inputFramesFor(int outputFrames) const noexcept;
  // Later input is mixed through `matrix`; frames already converted stay queued.
  int setMatrix(AudioChannelMatrix matrix);
  // Drops queued and held-back frames.
  int reset();

 private:
  AudioResampler(const AudioSampleLayout& input, const AudioSampleLayout& output, AudioChannelMatrix matrix,
                 AudioFifoHandle fifo);

  // A fresh library context for the layouts and the matrix.
  int configure();
  // Converts into the scratch and queues; null planes flush.
  int convertInto(const std::uint8_t* const* planes, int frames);

  AudioSampleLayout input_;
  AudioSampleLayout output_;
  AudioChannelMatrix matrix_;
  ResamplerHandle context_;
  AudioFifoHandle fifo_;
  // Scratch of the output layout the library converts into before queueing.
  std::uint8_t** scratch_ = nullptr;
  int scratchFrames_ = 0;
};

}  // namespace platform
