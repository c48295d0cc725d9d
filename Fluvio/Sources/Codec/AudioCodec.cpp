#include "Fluvio/Sources/Codec/AudioCodec.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Fluvio/Sources/Extension/AVAudioTimeExtension.hpp"
#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

using platform::AVAudioBuffer;
using platform::AVAudioCompressedBuffer;
using platform::AVAudioConverterInputStatus;
using platform::AVAudioConverterOutputStatus;
using platform::AVAudioFormat;
using platform::AVAudioPCMBuffer;
using platform::AVAudioTime;

constexpr platform::AVAudioFrameCount kFramesPerBuffer = 1024;
constexpr std::size_t kMaximumPacketSize = 1024;
constexpr std::size_t kEncodingInputBuffers = 6;
constexpr std::size_t kDecodedOutputBuffers = 24;
constexpr std::uint32_t kRingBufferCounts = 16;
// The CRC that follows the fixed header when protection is present.
constexpr std::size_t kADTSCRCSize = 2;

bool isLinearPCM(const AVAudioFormat& format) {
  return format.streamDescription().mFormatID == platform::kAudioFormatLinearPCM;
}

bool sameFormat(const std::shared_ptr<AVAudioFormat>& lhs, const std::shared_ptr<AVAudioFormat>& rhs) {
  return lhs == rhs || (lhs && rhs && *lhs == *rhs);
}

// The frames an output buffer holds, for advancing the output clock.
std::int64_t frameCount(const AVAudioBuffer& buffer) {
  if (const auto* pcm = dynamic_cast<const AVAudioPCMBuffer*>(&buffer)) return pcm->frameLength();
  const auto& compressed = static_cast<const AVAudioCompressedBuffer&>(buffer);
  return std::int64_t{compressed.packetCount()} * compressed.format()->streamDescription().mFramesPerPacket;
}

// The presentation time of packet `index` of a sample buffer that starts at
// `start`, packets being `format`'s frames per packet apart.
platform::CMTime packetTime(const platform::CMTime& start, std::size_t index, const AVAudioFormat& format) {
  const double sampleRate = format.sampleRate();
  if (!start.isValid() || !(sampleRate > 0)) return start;
  const double framesPerPacket = format.streamDescription().mFramesPerPacket;
  const auto ticks = std::llround(static_cast<double>(index) * framesPerPacket * start.timescale / sampleRate);
  return platform::CMTime::make(start.value + ticks, start.timescale);
}

}  // namespace

void AudioCodec::setSettings(AudioCodecSettings settings) {
  const auto oldValue = std::exchange(settings_, std::move(settings));
  if (settings_.requiresNewConverter(oldValue)) {
    setInputFormat(nullptr);
  } else {
    settings_.apply(audioConverter_.get(), oldValue);
  }
}

void AudioCodec::setInputFormat(std::shared_ptr<AVAudioFormat> inputFormat) {
  if (sameFormat(inputFormat_, inputFormat)) return;
  inputFormat_ = std::move(inputFormat);
  inputBuffers_.clear();
  inputBuffersCursor_ = 0;
  outputBuffers_.clear();
  packetBuffers_ = std::make_unique<platform::SharedObjectRecycler<AVAudioCompressedBuffer>>();
  audioConverter_ = makeAudioConverter();
  // Compressed input goes to the converter as it comes; only PCM is staged.
  if (!inputFormat_ || !isLinearPCM(*inputFormat_)) return;
  const auto count = settings_.format == AudioCodecFormat::pcm ? 1 : kEncodingInputBuffers;
  for (std::size_t index = 0; index < count; ++index) {
    if (auto buffer = AVAudioPCMBuffer::make(inputFormat_, kFramesPerBuffer)) {
      buffer->setFrameLength(kFramesPerBuffer);
      inputBuffers_.push_back(std::move(buffer));
    }
  }
}

std::shared_ptr<platform::AVAudioConverter> AudioCodec::makeAudioConverter() {
  if (!inputFormat_) return nullptr;
  const auto outputFormat = settings_.makeOutputFormat(*inputFormat_);
  if (!outputFormat) return nullptr;
  // The encoder opens at the settings' rate, so applying them opens no second one.
  auto converter = platform::AVAudioConverter::make(inputFormat_, outputFormat, settings_.bitRate);
  settings_.apply(converter.get(), std::nullopt);
  if (isLinearPCM(*inputFormat_)) ringBuffer_ = AudioRingBuffer::make(inputFormat_, kRingBufferCounts);
  if (!audioConverter_ || audioConverter_->outputFormat()->sampleRate() != outputFormat->sampleRate()) {
    audioTime_->reset();
  }
  TP_INFO(logger(), "converter:", converter ? "AVAudioConverter" : "nil", ",inputFormat:", *inputFormat_,
          ",outputFormat:", *outputFormat);
  return converter;
}

void AudioCodec::append(const platform::CMSampleBuffer& sampleBuffer) {
  if (!isRunning_ || settings_.format != AudioCodecFormat::pcm) return;
  if (const auto& description = sampleBuffer.formatDescription();
      description && (!inputFormat_ || !platform::equalFormatDescriptions(inputFormat_->formatDescription(), description))) {
    setInputFormat(AVAudioFormat::make(description));
  }
  const auto& dataBuffer = sampleBuffer.dataBuffer();
  if (!inputFormat_ || isLinearPCM(*inputFormat_) || !dataBuffer) return;

  const auto data = dataBuffer->data();
  const auto start = sampleBuffer.presentationTimeStamp();
  std::size_t offset = 0;
  for (std::size_t index = 0; index < sampleBuffer.numSamples(); ++index) {
    const auto size = sampleBuffer.sampleSize(index);
    if (size > data.size() - offset) return;
    const auto frame = data.subspan(offset, size);
    offset += size;
    const ADTSHeader header(frame);
    const auto headerSize = AudioSpecificConfig::adtsHeaderSize + (header.protectionAbsent ? 0 : kADTSCRCSize);
    if (frame.size() < headerSize) continue;
    const auto time = packetTime(start, index, *inputFormat_);
    append(makePacket(frame.subspan(headerSize)), AVAudioTime::make(time.value, time.timescale));
  }
}

const std::shared_ptr<AVAudioCompressedBuffer>& AudioCodec::makePacket(std::span<const std::uint8_t> payload) {
  if (!packetBuffer_ || !sameFormat(packetBuffer_->format(), inputFormat_) ||
      packetBuffer_->maximumPacketSize() < payload.size()) {
    packetBuffer_ = AVAudioCompressedBuffer::make(inputFormat_, 1, std::max(kMaximumPacketSize, payload.size()));
  }
  if (!packetBuffer_) return packetBuffer_;
  std::copy(payload.begin(), payload.end(), static_cast<std::uint8_t*>(packetBuffer_->data()));
  const auto length = static_cast<std::uint32_t>(payload.size());
  packetBuffer_->setByteLength(length);
  packetBuffer_->setPacketCount(1);
  if (auto* description = packetBuffer_->packetDescriptions()) *description = {0, 0, length};
  return packetBuffer_;
}

void AudioCodec::append(const std::shared_ptr<AVAudioBuffer>& audioBuffer,
                        const std::shared_ptr<AVAudioTime>& when) {
  if (!audioBuffer || !when) return;
  setInputFormat(audioBuffer->format());
  if (!audioConverter_ || !isRunning_) return;
  if (const auto pcm = std::dynamic_pointer_cast<AVAudioPCMBuffer>(audioBuffer)) {
    if (ringBuffer_) ringBuffer_->append(*pcm, *when);
    anchorAudioTime(*when);
  }
  convert(audioBuffer, when);
}

void AudioCodec::anchorAudioTime(const AVAudioTime& when) {
  if (audioTime_->hasAnchor()) return;
  const auto outputRate = audioConverter_->outputFormat()->sampleRate();
  if (when.isHostTimeValid()) {
    audioTime_->anchor(makeTime(when), outputRate);
  } else if (when.isSampleTimeValid() && when.sampleRate() > 0) {
    // Without a host time the clock still counts from the input's sample time.
    const auto sampleTime = std::llround(static_cast<double>(when.sampleTime()) * outputRate / when.sampleRate());
    audioTime_->anchor(AVAudioTime::make(sampleTime, outputRate));
  }
}

void AudioCodec::convert(const std::shared_ptr<AVAudioBuffer>& appended, const std::shared_ptr<AVAudioTime>& when,
                         bool ending) {
  Feed feed{appended, std::dynamic_pointer_cast<AVAudioCompressedBuffer>(appended) != nullptr, ending};
  // Made once per call, and small enough to live inside the function object.
  const platform::AVAudioConverterInputBlock inputBlock =
      [this, &feed](platform::AVAudioPacketCount packets, AVAudioConverterInputStatus& status) {
        return nextInput(feed, packets, status);
      };
  for (;;) {
    auto output = nextOutputBuffer();
    if (!output) return;
    feed.packetFed = false;
    std::optional<platform::AVAudioConverter::Error> error;
    const auto status = audioConverter_->convert(*output, &error, inputBlock);
    if (status != AVAudioConverterOutputStatus::haveData) {
      if (error) TP_DEBUG(logger(), "conversion ended: ", error->what());
      outputBuffers_.push_back(std::move(output));
      return;
    }
    auto time = stamp(*output, feed.isCompressed ? when : nullptr);
    outputStream_.yield({std::move(output), std::move(time)});
    if (!inputBuffers_.empty()) inputBuffersCursor_ = (inputBuffersCursor_ + 1) % inputBuffers_.size();
    // One decoded buffer per appended packet.
    if (settings_.format == AudioCodecFormat::pcm) return;
  }
}

std::shared_ptr<AVAudioBuffer> AudioCodec::nextInput(Feed& feed, platform::AVAudioPacketCount packets,
                                                     AVAudioConverterInputStatus& status) {
  std::shared_ptr<AVAudioBuffer> input;
  if (!feed.isCompressed) {
    // At the end the last frames go too, however few.
    input = renderInput(feed.ending && ringBuffer_ ? std::min(packets, ringBuffer_->counts()) : packets);
  } else if (!std::exchange(feed.packetFed, true)) {
    // Each packet reaches the decoder once.
    input = feed.appended;
  }
  status = input          ? AVAudioConverterInputStatus::haveData
           : feed.ending ? AVAudioConverterInputStatus::endOfStream
                         : AVAudioConverterInputStatus::noDataNow;
  return input;
}

std::shared_ptr<AVAudioBuffer> AudioCodec::renderInput(platform::AVAudioFrameCount frames) {
  if (inputBuffers_.empty() || !ringBuffer_ || ringBuffer_->counts() < frames || frames == 0) return nullptr;
  auto& buffer = inputBuffers_[inputBuffersCursor_];
  if (buffer->frameCapacity() < frames) {
    auto larger = AVAudioPCMBuffer::make(inputFormat_, frames);
    if (!larger) return nullptr;
    buffer = std::move(larger);
  }
  buffer->setFrameLength(frames);
  if (ringBuffer_->render(frames, buffer->mutableAudioBufferList()) != platform::noErr) return nullptr;
  return buffer;
}

std::shared_ptr<AVAudioBuffer> AudioCodec::nextOutputBuffer() {
  if (outputBuffers_.empty()) {
    const auto& outputFormat = audioConverter_->outputFormat();
    if (settings_.format == AudioCodecFormat::pcm) {
      for (std::size_t index = 0; index < kDecodedOutputBuffers; ++index) {
        if (auto buffer = AVAudioPCMBuffer::make(outputFormat, kFramesPerBuffer)) {
          outputBuffers_.push_back(std::move(buffer));
        }
      }
    } else if (auto buffer = packetBuffers_->take([&] {
                 return AVAudioCompressedBuffer::makeUnique(outputFormat, 1,
                                                            kMaximumPacketSize * outputFormat->channelCount());
               })) {
      outputBuffers_.push_back(std::move(buffer));
    }
    if (outputBuffers_.empty()) return nullptr;
  }
  auto buffer = std::move(outputBuffers_.front());
  outputBuffers_.pop_front();
  return buffer;
}

std::shared_ptr<AVAudioTime> AudioCodec::stamp(const AVAudioBuffer& output, const std::shared_ptr<AVAudioTime>& when) {
  if (when) return when;
  if (audioTime_->hasAnchor()) audioTime_->advanced(frameCount(output));
  return audioTime_->at();
}

void AudioCodec::startRunning() {
  if (isRunning_) return;
  audioTime_->reset();
  if (ringBuffer_) ringBuffer_->reset();
  if (audioConverter_) audioConverter_->reset();
  isRunning_ = true;
}

void AudioCodec::stopRunning() {
  if (!isRunning_) return;
  isRunning_ = false;
  // An encoder holds back the frames of its last, partial packet and those
  // it looks ahead over: ending its stream sends them out.
  if (audioConverter_ && settings_.format != AudioCodecFormat::pcm && inputFormat_ && isLinearPCM(*inputFormat_)) {
    convert(nullptr, nullptr, true);
  }
  outputStream_.finish();
}

}  // namespace fluvio
