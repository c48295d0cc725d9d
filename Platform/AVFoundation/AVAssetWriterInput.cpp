#include "Platform/AVFoundation/AVAssetWriterInput.hpp"

#include <mutex>
#include <string>

namespace platform {
namespace {

AVAssetWriterError notSupported(std::string detail) {
  return {AVAssetWriterError::Case::mediaNotSupported, std::move(detail)};
}

bool isRaw(const CMSampleBuffer& sampleBuffer, const CMFormatDescription& format) {
  if (format.mediaType() == kCMMediaType_Video) return sampleBuffer.imageBuffer() != nullptr;
  const auto* stream = format.audioStreamBasicDescription();
  return stream && stream->mFormatID == kAudioFormatLinearPCM;
}

}  // namespace

std::shared_ptr<AVAssetWriterInput> AVAssetWriterInput::make(
    AVMediaType mediaType, AVOutputSettings outputSettings,
    std::shared_ptr<const CMFormatDescription> sourceFormatHint) {
  if (mediaType != AVMediaTypeAudio && mediaType != AVMediaTypeVideo) return nullptr;
  return std::shared_ptr<AVAssetWriterInput>(
      new AVAssetWriterInput(mediaType, std::move(outputSettings), std::move(sourceFormatHint)));
}

AVAssetWriterInput::AVAssetWriterInput(AVMediaType mediaType, AVOutputSettings outputSettings,
                                       std::shared_ptr<const CMFormatDescription> sourceFormatHint)
    : mediaType_(mediaType),
      outputSettings_(std::move(outputSettings)),
      sourceFormatHint_(std::move(sourceFormatHint)) {}

void AVAssetWriterInput::attach(std::shared_ptr<AVAssetWriterState> state, int track) {
  state_ = std::move(state);
  track_ = track;
}

bool AVAssetWriterInput::isReadyForMoreMediaData() const {
  if (!state_) return false;
  std::lock_guard lock(state_->mutex);
  return state_->takesMedia() && !finished_ && !state_->muxer.isBackedUp();
}

bool AVAssetWriterInput::append(const CMSampleBuffer& sampleBuffer) {
  if (!state_) return false;
  std::lock_guard lock(state_->mutex);
  if (!state_->takesMedia() || finished_ || !state_->muxer.hasSession()) return false;
  if (auto error = write(sampleBuffer)) {
    state_->report(std::move(*error));
    return false;
  }
  return true;
}

void AVAssetWriterInput::markAsFinished() {
  if (!state_) {
    finished_ = true;
    return;
  }
  std::lock_guard lock(state_->mutex);
  finishLocked();
}

void AVAssetWriterInput::finishLocked() {
  if (finished_) return;
  finished_ = true;
  if (!state_ || state_->status != AVAssetWriterStatus::writing) return;
  std::optional<AVAssetWriterError> error;
  if (videoEncoder_) error = videoEncoder_->finish(encodedVideo_);
  if (audioEncoder_) error = audioEncoder_->finish(state_->muxer, track_);
  if (!error) error = state_->muxer.finishTrack(track_);
  if (error) state_->report(std::move(*error));
}

std::optional<AVAssetWriterError> AVAssetWriterInput::write(const CMSampleBuffer& sampleBuffer) {
  const auto& format = sampleBuffer.formatDescription();
  if (!format || format->mediaType() != mediaType_) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "the sample is not of the input's media type");
  }
  if (!isRaw(sampleBuffer, *format)) return writeEncoded(sampleBuffer);
  return mediaType_ == AVMediaTypeVideo ? writeRawVideo(sampleBuffer) : writeRawAudio(sampleBuffer);
}

bool AVAssetWriterInput::settingsTake(const CMFormatDescription& encodedFormat) const {
  if (outputSettings_.empty()) return true;
  if (mediaType_ == AVMediaTypeVideo) return videoCodecType(outputSettings_) == encodedFormat.mediaSubType();
  const auto* stream = encodedFormat.audioStreamBasicDescription();
  return stream && audioFormatID(outputSettings_) == stream->mFormatID;
}

std::optional<AVAssetWriterError> AVAssetWriterInput::writeEncoded(const CMSampleBuffer& sampleBuffer) {
  if (videoEncoder_ || audioEncoder_) return notSupported("the track holds media that this input encodes");
  if (!settingsTake(*sampleBuffer.formatDescription())) {
    return notSupported("the sample's codec is not the one the output settings name");
  }
  if (!passthrough_) passthrough_.emplace();
  return passthrough_->append(sampleBuffer, state_->muxer, track_);
}

std::optional<AVAssetWriterError> AVAssetWriterInput::writeRawVideo(const CMSampleBuffer& sampleBuffer) {
  if (!videoEncoder_) {
    if (passthrough_) return notSupported("the track holds encoded video");
    const auto settings = AVVideoOutputSettings::read(outputSettings_);
    if (!settings) return notSupported("raw video needs video output settings");
    videoEncoder_ = std::make_unique<AVAssetWriterVideoEncoder>(*settings, expectsMediaDataInRealTime_);
    passthrough_.emplace();
    encodedVideo_ = [this](const CMSampleBuffer& encoded) {
      return passthrough_->append(encoded, state_->muxer, track_);
    };
  }
  return videoEncoder_->append(sampleBuffer, encodedVideo_);
}

std::optional<AVAssetWriterError> AVAssetWriterInput::writeRawAudio(const CMSampleBuffer& sampleBuffer) {
  if (!audioEncoder_) {
    if (passthrough_) return notSupported("the track holds encoded audio");
    const auto settings = AVAudioOutputSettings::read(outputSettings_);
    if (!settings) return notSupported("raw audio needs audio output settings");
    audioEncoder_ = AVAssetWriterAudioEncoder::make(*settings, sampleBuffer.formatDescription());
    if (!audioEncoder_) {
      return AVAssetWriterError(AVAssetWriterError::Case::encodingFailed,
                                "the encoder takes neither this audio nor these settings");
    }
  }
  return audioEncoder_->append(sampleBuffer, state_->muxer, track_);
}

}  // namespace platform
