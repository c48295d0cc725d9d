#include "Platform/AVFAudio/VOAACAudioEncoder.hpp"

#include <vo-aacenc/cmnMemory.h>

#include <algorithm>
#include <array>

extern "C" {
#include <libavutil/error.h>
}

namespace platform {

namespace {

// Index = the AudioSpecificConfig's sampling frequency index.
constexpr std::array<int, 12> aacSampleRates = {96000, 88200, 64000, 48000, 44100, 32000,
                                                24000, 22050, 16000, 12000, 11025, 8000};
constexpr std::uint8_t aacLowComplexity = 2;
// A packet's decoded output lags the frame encoded into it by this many
// frames; with the start-up packet dropped, the stream lags its input by
// streamDelay.
constexpr int encoderDelay = 1600;
constexpr int streamDelay = encoderDelay - 1024;
// A channel element holds at most 6,144 bits; twice that leaves room for the
// encoder's own framing.
constexpr std::size_t maximumPacketBytesPerChannel = 2 * 6144 / 8;

int sampleRateIndex(int sampleRate) {
  const auto found = std::find(aacSampleRates.begin(), aacSampleRates.end(), sampleRate);
  return found == aacSampleRates.end() ? -1 : static_cast<int>(found - aacSampleRates.begin());
}

VO_CODEC_INIT_USERDATA* memoryOperators() {
  static VO_MEM_OPERATOR operators{cmnMemAlloc, cmnMemFree,    cmnMemSet, cmnMemCopy,
                                   cmnMemCheck, cmnMemCompare, cmnMemMove};
  static VO_CODEC_INIT_USERDATA userData{VO_IMF_USERMEMOPERATOR, &operators};
  return &userData;
}

}  // namespace

bool VOAACAudioEncoder::accepts(const Configuration& configuration) noexcept {
  return configuration.formatID == kAudioFormatMPEG4AAC && configuration.channels >= 1 && configuration.channels <= 2 &&
         sampleRateIndex(configuration.sampleRate) >= 0 &&
         (configuration.framesPerPacket == 0 || configuration.framesPerPacket == framesPerPacket);
}

std::unique_ptr<VOAACAudioEncoder> VOAACAudioEncoder::make(const Configuration& configuration) {
  if (!accepts(configuration)) return nullptr;
  std::unique_ptr<VOAACAudioEncoder> encoder(new VOAACAudioEncoder(configuration));
  if (encoder->open() < 0) return nullptr;
  return encoder;
}

VOAACAudioEncoder::VOAACAudioEncoder(const Configuration& configuration)
    : configuration_(configuration),
      pcm_(static_cast<std::size_t>(framesPerPacket * configuration.channels)),
      output_(maximumPacketBytesPerChannel * static_cast<std::size_t>(configuration.channels)) {
  const auto index = static_cast<std::uint8_t>(sampleRateIndex(configuration.sampleRate));
  const auto channels = static_cast<std::uint8_t>(configuration.channels);
  magicCookie_ = {static_cast<std::uint8_t>(aacLowComplexity << 3 | index >> 1),
                  static_cast<std::uint8_t>((index & 1) << 7 | channels << 3)};
}

VOAACAudioEncoder::~VOAACAudioEncoder() { close(); }

int VOAACAudioEncoder::open() {
  if (voGetAACEncAPI(&api_) != VO_ERR_NONE ||
      api_.Init(&handle_, VO_AUDIO_CodingAAC, memoryOperators()) != VO_ERR_NONE) {
    handle_ = nullptr;
    return AVERROR_EXTERNAL;
  }
  startingUp_ = true;
  nextPresentationTime_ = -streamDelay;
  fresh_ = true;
  lastFrameLength_ = 0;
  flushed_ = false;
  return applyConfiguration();
}

void VOAACAudioEncoder::close() noexcept {
  if (handle_) api_.Uninit(handle_);
  handle_ = nullptr;
}

int VOAACAudioEncoder::applyConfiguration() {
  AACENC_PARAM parameters{};
  parameters.sampleRate = configuration_.sampleRate;
  parameters.bitRate = static_cast<int>(std::clamp<std::int64_t>(configuration_.bitRate, 1, 1'000'000));
  parameters.nChannels = static_cast<short>(configuration_.channels);
  parameters.adtsUsed = 0;
  return api_.SetParam(handle_, VO_PID_AAC_ENCPARAM, &parameters) == VO_ERR_NONE ? 0 : AVERROR_EXTERNAL;
}

int VOAACAudioEncoder::reopen() {
  // An encoder that has taken nothing yet is as good as a new one.
  if (fresh_) return 0;
  packets_.clear();
  close();
  return open();
}

int VOAACAudioEncoder::setBitRate(std::int64_t bitRate) {
  const auto previous = configuration_.bitRate;
  configuration_.bitRate = bitRate;
  // Setting the parameters again keeps the encoder's delay line: the stream
  // goes on without a seam.
  const int status = applyConfiguration();
  if (status < 0) configuration_.bitRate = previous;
  return status;
}

int VOAACAudioEncoder::encode(AudioResampler& source, int frames) {
  if (flushed_) return AVERROR_EOF;
  frames = std::clamp(frames, 0, framesPerPacket);
  auto* plane = reinterpret_cast<std::uint8_t*>(pcm_.data());
  const int read = std::max(source.read(&plane, frames), 0);
  std::fill(pcm_.begin() + read * configuration_.channels, pcm_.end(), std::int16_t{0});
  fresh_ = false;
  lastFrameLength_ = read;
  return encodeFrame();
}

int VOAACAudioEncoder::flush() {
  if (flushed_) return 0;
  flushed_ = true;
  if (fresh_) return 0;
  // Silence until the last input frame has come out in full.
  const int tailFrames = (lastFrameLength_ + encoderDelay + framesPerPacket - 1) / framesPerPacket - 1;
  std::fill(pcm_.begin(), pcm_.end(), std::int16_t{0});
  for (int frame = 0; frame < tailFrames; ++frame) {
    if (const int status = encodeFrame(); status < 0) return status;
  }
  return 0;
}

int VOAACAudioEncoder::encodeFrame() {
  VO_CODECBUFFER input{};
  input.Buffer = reinterpret_cast<VO_PBYTE>(pcm_.data());
  input.Length = static_cast<VO_U32>(pcm_.size() * sizeof(std::int16_t));
  VO_CODECBUFFER output{};
  output.Buffer = output_.data();
  output.Length = static_cast<VO_U32>(output_.size());
  VO_AUDIO_OUTPUTINFO information{};
  if (api_.SetInputData(handle_, &input) != VO_ERR_NONE ||
      api_.GetOutputData(handle_, &output, &information) != VO_ERR_NONE) {
    return AVERROR_EXTERNAL;
  }
  if (startingUp_) {
    startingUp_ = false;
    return 0;
  }
  packets_.push_back({{output_.data(), output_.data() + output.Length}, nextPresentationTime_});
  nextPresentationTime_ += framesPerPacket;
  return 0;
}

}  // namespace platform
