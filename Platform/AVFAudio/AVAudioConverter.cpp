#include "Platform/AVFAudio/AVAudioConverter.hpp"

#include <new>

#include "Platform/AVFAudio/AVAudioConverterPipeline.hpp"

namespace platform {

namespace {

const char* caseName(AVAudioConverter::Error::Case errorCase) {
  using Case = AVAudioConverter::Error::Case;
  switch (errorCase) {
    case Case::invalidInputBuffer: return "invalidInputBuffer";
    case Case::invalidOutputBuffer: return "invalidOutputBuffer";
    case Case::outputBufferTooSmall: return "outputBufferTooSmall";
    case Case::decodingFailed: return "decodingFailed";
    case Case::encodingFailed: return "encodingFailed";
    case Case::conversionFailed: return "conversionFailed";
  }
  return "unknown";
}

}  // namespace

AVAudioConverter::Error::Error(Case errorCase, std::string detail)
    : case_(errorCase),
      detail_(std::move(detail)),
      message_(std::string(caseName(errorCase)) + (detail_.empty() ? "" : ": " + detail_)) {}

std::shared_ptr<AVAudioConverter> AVAudioConverter::make(std::shared_ptr<AVAudioFormat> fromFormat,
                                                         std::shared_ptr<AVAudioFormat> toFormat,
                                                         std::optional<std::int64_t> bitRate) {
  try {
    auto pipeline = Pipeline::make(std::move(fromFormat), std::move(toFormat), bitRate);
    return pipeline ? std::shared_ptr<AVAudioConverter>(new AVAudioConverter(std::move(pipeline))) : nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

AVAudioConverter::AVAudioConverter(std::unique_ptr<Pipeline> pipeline) : pipeline_(std::move(pipeline)) {}

AVAudioConverter::~AVAudioConverter() = default;

const std::shared_ptr<AVAudioFormat>& AVAudioConverter::inputFormat() const noexcept {
  return pipeline_->inputFormat();
}
const std::shared_ptr<AVAudioFormat>& AVAudioConverter::outputFormat() const noexcept {
  return pipeline_->outputFormat();
}
const std::vector<std::uint8_t>& AVAudioConverter::magicCookie() const noexcept { return pipeline_->magicCookie(); }

std::int64_t AVAudioConverter::bitRate() const noexcept { return pipeline_->bitRate(); }
void AVAudioConverter::setBitRate(std::int64_t bitRate) { pipeline_->setBitRate(bitRate); }
std::optional<std::vector<std::int64_t>> AVAudioConverter::applicableEncodeBitRates() const {
  return pipeline_->applicableEncodeBitRates();
}

bool AVAudioConverter::downmix() const noexcept { return pipeline_->downmix(); }
void AVAudioConverter::setDownmix(bool downmix) { pipeline_->setDownmix(downmix); }
const std::vector<std::int64_t>& AVAudioConverter::channelMap() const noexcept { return pipeline_->channelMap(); }
void AVAudioConverter::setChannelMap(std::vector<std::int64_t> channelMap) {
  pipeline_->setChannelMap(std::move(channelMap));
}

void AVAudioConverter::reset() { pipeline_->reset(); }

AVAudioConverterOutputStatus AVAudioConverter::convert(AVAudioBuffer& outputBuffer, std::optional<Error>* error,
                                                       const AVAudioConverterInputBlock& inputBlock) {
  try {
    return pipeline_->convert(outputBuffer, inputBlock);
  } catch (const Error& failure) {
    if (error) *error = failure;
  } catch (const std::bad_alloc&) {
    if (error) *error = Error(Error::Case::conversionFailed, "out of memory");
  }
  return AVAudioConverterOutputStatus::error;
}

}  // namespace platform
