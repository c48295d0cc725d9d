#include "Platform/AVFAudio/AVAudioConverterPipeline.hpp"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {

namespace {

using Status = AVAudioConverterOutputStatus;
using Case = AVAudioConverter::Error::Case;

bool isCodecFormat(AudioFormatID formatID) { return formatID == kAudioFormatMPEG4AAC || formatID == kAudioFormatOpus; }

// Packets that decode to nothing in a row before a call gives up waiting.
constexpr int maximumIdlePulls = 64;
// Far beyond any codec's packet; keeps the frame count an int.
constexpr std::uint32_t maximumFramesPerPacket = 1u << 16;

// A default bit rate of 64 kbit/s per channel, within what the encoder takes.
// The requested rate, or 64 kbit/s per channel, within the applicable range.
std::int64_t initialBitRate(const std::vector<std::int64_t>& applicable, int channels,
                            std::optional<std::int64_t> requested) {
  const std::int64_t wanted = requested.value_or(std::int64_t{64'000} * channels);
  return applicable.empty() ? wanted : std::clamp(wanted, applicable.front(), applicable.back());
}

std::shared_ptr<AVAudioFormat> withMagicCookie(const AVAudioFormat& format, const std::vector<std::uint8_t>& cookie) {
  std::optional<AudioChannelLayout> layout;
  if (format.channelLayout()) layout = format.channelLayout()->layout();
  auto description = CMFormatDescription::makeAudio(format.streamDescription(), layout, cookie);
  return description ? AVAudioFormat::make(std::move(description.value)) : nullptr;
}

template <class Pointer, class Buffer>
std::array<Pointer, maximumConvertedChannels> planesOf(Buffer* list, std::size_t byteOffset) {
  std::array<Pointer, maximumConvertedChannels> planes{};
  const auto count = std::min<std::size_t>(list->mNumberBuffers, planes.size());
  for (std::size_t index = 0; index < count; ++index) {
    planes[index] = static_cast<Pointer>(list->mBuffers[index].mData) + byteOffset;
  }
  return planes;
}

AVAudioConverter::Error libavError(Case errorCase, int code) { return {errorCase, libavErrorString(code)}; }

}  // namespace

std::unique_ptr<AVAudioConverter::Pipeline> AVAudioConverter::Pipeline::make(std::shared_ptr<AVAudioFormat> fromFormat,
                                                                             std::shared_ptr<AVAudioFormat> toFormat,
                                                                             std::optional<std::int64_t> bitRate) {
  if (!fromFormat || !toFormat) return nullptr;
  const auto& from = fromFormat->streamDescription();
  const auto& to = toFormat->streamDescription();
  const bool fromPCM = from.mFormatID == kAudioFormatLinearPCM;
  const bool toPCM = to.mFormatID == kAudioFormatLinearPCM;

  if (fromPCM && (toPCM || isCodecFormat(to.mFormatID))) {
    const auto inputLayout = AudioSampleLayout::of(*fromFormat);
    if (!inputLayout) return nullptr;
    std::unique_ptr<Pipeline> pipeline;
    if (toPCM) {
      const auto outputLayout = AudioSampleLayout::of(*toFormat);
      if (!outputLayout) return nullptr;
      pipeline.reset(new Pipeline(Direction::pcm, std::move(fromFormat), std::move(toFormat), *outputLayout));
    } else {
      const auto rate = integerSampleRate(to.mSampleRate);
      if (!rate || to.mChannelsPerFrame > maximumConvertedChannels || to.mFramesPerPacket > maximumFramesPerPacket) {
        return nullptr;
      }
      const auto channels = static_cast<int>(to.mChannelsPerFrame);
      const auto encodeRate =
          initialBitRate(AudioPacketEncoder::applicableBitRates(to.mFormatID, *rate, channels), channels, bitRate);
      auto encoder =
          AudioPacketEncoder::make({to.mFormatID, *rate, channels, encodeRate, static_cast<int>(to.mFramesPerPacket)});
      if (!encoder) return nullptr;
      auto outputFormat = withMagicCookie(*toFormat, encoder->magicCookie());
      if (!outputFormat) return nullptr;
      pipeline.reset(new Pipeline(Direction::encoding, std::move(fromFormat), std::move(outputFormat),
                                  {encoder->sampleFormat(), *rate, channels}));
      pipeline->encoder_ = std::move(encoder);
      pipeline->bitRate_ = encodeRate;
    }
    pipeline->resampler_ =
        AudioResampler::make(*inputLayout, pipeline->outputLayout_, pipeline->matrixFor(inputLayout->channels));
    return pipeline->resampler_ ? std::move(pipeline) : nullptr;
  }

  if (toPCM && isCodecFormat(from.mFormatID)) {
    const auto outputLayout = AudioSampleLayout::of(*toFormat);
    const auto rate = integerSampleRate(from.mSampleRate);
    if (!outputLayout || !rate || from.mChannelsPerFrame > maximumConvertedChannels) return nullptr;
    std::span<const std::uint8_t> cookie;
    if (const auto& description = fromFormat->formatDescription()) cookie = description->magicCookie();
    auto decoder = AudioPacketDecoder::make(from.mFormatID, *rate, static_cast<int>(from.mChannelsPerFrame), cookie);
    if (!decoder) return nullptr;
    std::unique_ptr<Pipeline> pipeline(
        new Pipeline(Direction::decoding, std::move(fromFormat), std::move(toFormat), *outputLayout));
    pipeline->decoder_ = std::move(decoder);
    return pipeline;
  }
  return nullptr;
}

AVAudioConverter::Pipeline::Pipeline(Direction direction, std::shared_ptr<AVAudioFormat> inputFormat,
                                     std::shared_ptr<AVAudioFormat> outputFormat, AudioSampleLayout outputLayout)
    : direction_(direction),
      inputFormat_(std::move(inputFormat)),
      outputFormat_(std::move(outputFormat)),
      outputLayout_(outputLayout) {
  const auto inputChannels = static_cast<std::int64_t>(inputFormat_->channelCount());
  for (std::int64_t channel = 0; channel < outputLayout_.channels; ++channel) {
    channelMap_.push_back(channel < inputChannels ? channel : -1);
  }
}

const std::vector<std::uint8_t>& AVAudioConverter::Pipeline::magicCookie() const noexcept {
  static const std::vector<std::uint8_t> none;
  return encoder_ ? encoder_->magicCookie() : none;
}

void AVAudioConverter::Pipeline::setBitRate(std::int64_t bitRate) {
  const auto applicable = applicableEncodeBitRates();
  if (!applicable || applicable->empty() || bitRate < applicable->front() || bitRate > applicable->back()) return;
  if (encoder_->setBitRate(bitRate) >= 0) bitRate_ = bitRate;
}

std::optional<std::vector<std::int64_t>> AVAudioConverter::Pipeline::applicableEncodeBitRates() const {
  if (!encoder_) return std::nullopt;
  return AudioPacketEncoder::applicableBitRates(outputFormat_->streamDescription().mFormatID, outputLayout_.sampleRate,
                                                outputLayout_.channels);
}

void AVAudioConverter::Pipeline::setDownmix(bool downmix) {
  downmix_ = downmix;
  if (!channelMapSet_) remix();
}

void AVAudioConverter::Pipeline::setChannelMap(std::vector<std::int64_t> channelMap) {
  const auto inputChannels = static_cast<std::int64_t>(inputFormat_->channelCount());
  if (channelMap.size() != static_cast<std::size_t>(outputLayout_.channels) ||
      std::any_of(channelMap.begin(), channelMap.end(), [&](std::int64_t entry) { return entry >= inputChannels; })) {
    return;
  }
  channelMap_ = std::move(channelMap);
  channelMapSet_ = true;
  remix();
}

AudioChannelMatrix AVAudioConverter::Pipeline::matrixFor(int inputChannels) const {
  if (channelMapSet_) return AudioChannelMatrix::mapped(inputChannels, channelMap_);
  if (downmix_ && outputLayout_.channels < inputChannels) {
    return AudioChannelMatrix::downmixed(inputChannels, outputLayout_.channels);
  }
  return AudioChannelMatrix::identity(inputChannels, outputLayout_.channels);
}

void AVAudioConverter::Pipeline::remix() {
  // A refused matrix leaves the previous mix in place.
  if (resampler_) resampler_->setMatrix(matrixFor(resampler_->input().channels));
}

void AVAudioConverter::Pipeline::reset() {
  inputEnded_ = false;
  drained_ = false;
  if (decoder_) decoder_->reset();
  if (resampler_) resampler_->reset();
  if (encoder_) encoder_->reopen();
}

AVAudioConverterOutputStatus AVAudioConverter::Pipeline::convert(AVAudioBuffer& outputBuffer,
                                                                 const AVAudioConverterInputBlock& inputBlock) {
  if (!outputBuffer.format() || !(*outputBuffer.format() == *outputFormat_)) {
    throw Error(Case::invalidOutputBuffer, "not of the output format");
  }
  if (direction_ == Direction::encoding) {
    auto* packets = dynamic_cast<AVAudioCompressedBuffer*>(&outputBuffer);
    if (!packets || packets->packetCapacity() == 0) throw Error(Case::invalidOutputBuffer, "no room for a packet");
    return fillPackets(*packets, inputBlock);
  }
  auto* frames = dynamic_cast<AVAudioPCMBuffer*>(&outputBuffer);
  if (!frames || frames->frameCapacity() == 0) throw Error(Case::invalidOutputBuffer, "no room for a frame");
  return fillFrames(*frames, inputBlock);
}

AVAudioConverterOutputStatus AVAudioConverter::Pipeline::fillFrames(AVAudioPCMBuffer& output,
                                                                    const AVAudioConverterInputBlock& inputBlock) {
  output.setFrameLength(0);
  const AVAudioFrameCount capacity = output.frameCapacity();
  AVAudioFrameCount written = 0;
  int idlePulls = 0;
  for (;;) {
    // Plain conversion hands out only whole buffers until the stream ends;
    // decoded frames go out packet by packet.
    written += moveFrames(output, written, direction_ == Direction::pcm && !inputEnded_);
    if (written == capacity) return Status::haveData;
    if (inputEnded_) {
      if (drained_) return written > 0 ? Status::haveData : Status::endOfStream;
      drain();
      continue;
    }
    const int before = availableFrames();
    const auto wanted = direction_ == Direction::decoding
                            ? 1
                            : std::max(resampler_->inputFramesFor(static_cast<int>(capacity - written) - before), 1);
    switch (pull(static_cast<AVAudioPacketCount>(wanted), inputBlock)) {
      case Pulled::data:
        idlePulls = availableFrames() > before ? 0 : idlePulls + 1;
        if (idlePulls < maximumIdlePulls) break;
        [[fallthrough]];
      case Pulled::noData: return written > 0 ? Status::haveData : Status::inputRanDry;
      case Pulled::ended: inputEnded_ = true; break;
    }
  }
}

AVAudioConverterOutputStatus AVAudioConverter::Pipeline::fillPackets(AVAudioCompressedBuffer& output,
                                                                     const AVAudioConverterInputBlock& inputBlock) {
  output.setPacketCount(0);
  output.setByteLength(0);
  for (;;) {
    movePackets(output);
    if (output.packetCount() == output.packetCapacity()) return Status::haveData;
    if (encodeQueuedFrames()) continue;
    if (inputEnded_) {
      if (drained_) return output.packetCount() > 0 ? Status::haveData : Status::endOfStream;
      drain();
      continue;
    }
    const int wanted = std::max(resampler_->inputFramesFor(encoder_->frameSize() - availableFrames()), 1);
    switch (pull(static_cast<AVAudioPacketCount>(wanted), inputBlock)) {
      case Pulled::data: break;
      case Pulled::noData: return output.packetCount() > 0 ? Status::haveData : Status::inputRanDry;
      case Pulled::ended: inputEnded_ = true; break;
    }
  }
}

AVAudioConverter::Pipeline::Pulled AVAudioConverter::Pipeline::pull(AVAudioPacketCount count,
                                                                    const AVAudioConverterInputBlock& inputBlock) {
  auto status = AVAudioConverterInputStatus::noDataNow;
  const auto buffer = inputBlock(count, status);
  if (status == AVAudioConverterInputStatus::endOfStream) return Pulled::ended;
  if (status != AVAudioConverterInputStatus::haveData) return Pulled::noData;
  if (!buffer) throw Error(Case::invalidInputBuffer, "haveData without a buffer");
  if (!buffer->format() || !(*buffer->format() == *inputFormat_)) {
    throw Error(Case::invalidInputBuffer, "not of the input format");
  }
  return direction_ == Direction::decoding ? decode(*buffer) : resample(*buffer);
}

AVAudioConverter::Pipeline::Pulled AVAudioConverter::Pipeline::resample(const AVAudioBuffer& input) {
  const auto* frames = dynamic_cast<const AVAudioPCMBuffer*>(&input);
  if (!frames) throw Error(Case::invalidInputBuffer, "not a PCM buffer");
  if (frames->frameLength() == 0) return Pulled::noData;
  const auto planes = planesOf<const std::uint8_t*>(frames->audioBufferList(), 0);
  const int status = resampler_->push(planes.data(), static_cast<int>(frames->frameLength()));
  if (status < 0) throw libavError(Case::conversionFailed, status);
  return Pulled::data;
}

AVAudioConverter::Pipeline::Pulled AVAudioConverter::Pipeline::decode(const AVAudioBuffer& input) {
  const auto* packets = dynamic_cast<const AVAudioCompressedBuffer*>(&input);
  if (!packets) throw Error(Case::invalidInputBuffer, "not a compressed buffer");
  const AVAudioPacketCount count = packets->packetCount();
  const std::int64_t length = packets->byteLength();
  if (count == 0 || length == 0) return Pulled::noData;
  const auto* bytes = static_cast<const std::uint8_t*>(packets->data());
  const auto* descriptions = packets->packetDescriptions();
  const std::int64_t bytesPerPacket = inputFormat_->streamDescription().mBytesPerPacket;
  if (!descriptions && count > 1 && bytesPerPacket == 0) {
    throw Error(Case::invalidInputBuffer, "several packets without descriptions");
  }
  const auto sink = [this](const AVFrame& frame) { return resampleDecoded(frame); };
  for (AVAudioPacketCount index = 0; index < count; ++index) {
    std::int64_t offset = 0;
    std::int64_t size = length;
    if (descriptions) {
      offset = descriptions[index].mStartOffset;
      size = descriptions[index].mDataByteSize;
    } else if (count > 1) {
      offset = index * bytesPerPacket;
      size = bytesPerPacket;
    }
    if (offset < 0 || size > length || offset > length - size) {
      throw Error(Case::invalidInputBuffer, "packet outside the buffer's bytes");
    }
    if (size == 0) continue;
    const int status = decoder_->decode({bytes + offset, static_cast<std::size_t>(size)}, sink);
    if (status < 0) throw libavError(Case::decodingFailed, status);
  }
  return Pulled::data;
}

int AVAudioConverter::Pipeline::resampleDecoded(const AVFrame& frame) {
  const AudioSampleLayout layout{static_cast<AVSampleFormat>(frame.format), frame.sample_rate,
                                 frame.ch_layout.nb_channels};
  if (!resampler_ || !(resampler_->input() == layout)) {
    // A stream that changes layout midway starts over from its new frames.
    auto resampler = AudioResampler::make(layout, outputLayout_, matrixFor(layout.channels));
    if (!resampler) return AVERROR(EINVAL);
    resampler_ = std::move(resampler);
  }
  return resampler_->push(frame.extended_data, frame.nb_samples);
}

void AVAudioConverter::Pipeline::drain() {
  drained_ = true;
  if (decoder_) {
    const int status = decoder_->finish([this](const AVFrame& frame) { return resampleDecoded(frame); });
    if (status < 0) throw libavError(Case::decodingFailed, status);
  }
  if (resampler_) {
    if (const int status = resampler_->drain(); status < 0) throw libavError(Case::conversionFailed, status);
  }
  if (encoder_) {
    encodeQueuedFrames();
    int status = availableFrames() > 0 ? encoder_->encode(*resampler_, availableFrames()) : 0;
    if (status >= 0) status = encoder_->flush();
    if (status < 0) throw libavError(Case::encodingFailed, status);
  }
}

AVAudioFrameCount AVAudioConverter::Pipeline::moveFrames(AVAudioPCMBuffer& output, AVAudioFrameCount offset,
                                                         bool wholeBuffer) {
  const AVAudioFrameCount room = output.frameCapacity() - offset;
  const auto frames = std::min(room, static_cast<AVAudioFrameCount>(availableFrames()));
  if (frames == 0 || (wholeBuffer && frames < room)) return 0;
  const int bytesPerSample = av_get_bytes_per_sample(outputLayout_.format);
  const int bytesPerFrame =
      av_sample_fmt_is_planar(outputLayout_.format) ? bytesPerSample : bytesPerSample * outputLayout_.channels;
  const auto planes = planesOf<std::uint8_t*>(output.mutableAudioBufferList(),
                                              std::size_t{offset} * static_cast<std::size_t>(bytesPerFrame));
  const int read = resampler_->read(planes.data(), static_cast<int>(frames));
  if (read < 0) throw libavError(Case::conversionFailed, read);
  output.setFrameLength(offset + static_cast<AVAudioFrameCount>(read));
  return static_cast<AVAudioFrameCount>(read);
}

void AVAudioConverter::Pipeline::movePackets(AVAudioCompressedBuffer& output) {
  auto& queue = encoder_->packets();
  auto* bytes = static_cast<std::uint8_t*>(output.data());
  auto* descriptions = output.packetDescriptions();
  while (!queue.empty() && output.packetCount() < output.packetCapacity()) {
    const auto& packet = queue.front().bytes;
    const auto size = static_cast<std::uint32_t>(packet.size());
    if (size > output.maximumPacketSize()) {
      queue.pop_front();
      throw Error(Case::outputBufferTooSmall, "a packet of " + std::to_string(size) + " bytes was dropped");
    }
    const std::uint32_t offset = output.byteLength();
    if (size > output.byteCapacity() - offset) return;
    std::memcpy(bytes + offset, packet.data(), size);
    if (descriptions) descriptions[output.packetCount()] = {offset, 0, size};
    output.setPacketCount(output.packetCount() + 1);
    output.setByteLength(offset + size);
    queue.pop_front();
  }
}

bool AVAudioConverter::Pipeline::encodeQueuedFrames() {
  const auto before = encoder_->packets().size();
  while (availableFrames() >= encoder_->frameSize()) {
    if (const int status = encoder_->encode(*resampler_, encoder_->frameSize()); status < 0) {
      throw libavError(Case::encodingFailed, status);
    }
  }
  return encoder_->packets().size() > before;
}

}  // namespace platform
