#include "Platform/AVFoundation/AVAssetWriter.hpp"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "Platform/VideoToolbox/VTLibav.hpp"

namespace platform {

std::shared_ptr<AVAssetWriter> AVAssetWriter::make(const URL& outputURL, AVFileType outputFileType) {
  if (!outputURL.isFileURL()) {
    throw Error(Error::Case::invalidOutputURL, "not a file URL: " + outputURL.absoluteString());
  }
  const std::filesystem::path path = outputURL.path();
  std::error_code error;
  if (!std::filesystem::is_directory(path.parent_path(), error)) {
    throw Error(Error::Case::invalidOutputURL, "no folder " + path.parent_path().string());
  }
  if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
    throw Error(Error::Case::fileAlreadyExists, path.string());
  }
  quietCodecLogging();
  return std::shared_ptr<AVAssetWriter>(new AVAssetWriter(outputURL, outputFileType));
}

AVAssetWriter::AVAssetWriter(URL outputURL, AVFileType outputFileType)
    : outputURL_(std::move(outputURL)),
      outputFileType_(outputFileType),
      state_(std::make_shared<AVAssetWriterState>(outputURL_.path(), outputFileType)),
      queue_("AVAssetWriter.finishing") {}

AVAssetWriter::Status AVAssetWriter::status() const {
  std::lock_guard lock(state_->mutex);
  return state_->status;
}

std::optional<AVAssetWriter::Error> AVAssetWriter::error() const {
  std::lock_guard lock(state_->mutex);
  return state_->error;
}

std::optional<CMTime> AVAssetWriter::movieFragmentInterval() const {
  std::lock_guard lock(state_->mutex);
  return movieFragmentInterval_;
}

void AVAssetWriter::setMovieFragmentInterval(std::optional<CMTime> movieFragmentInterval) {
  std::lock_guard lock(state_->mutex);
  movieFragmentInterval_ = movieFragmentInterval;
}

std::vector<std::shared_ptr<AVAssetWriterInput>> AVAssetWriter::inputs() const {
  std::lock_guard lock(state_->mutex);
  return inputs_;
}

bool AVAssetWriter::canApply(const AVOutputSettings& outputSettings, AVMediaType mediaType) const {
  std::lock_guard lock(state_->mutex);
  return canApplyLocked(outputSettings, mediaType);
}

bool AVAssetWriter::canApplyLocked(const AVOutputSettings& outputSettings, AVMediaType mediaType) const {
  if (state_->status != Status::unknown) return false;
  if (mediaType == AVMediaTypeAudio) return outputSettings.empty() || AVAudioOutputSettings::read(outputSettings);
  if (mediaType == AVMediaTypeVideo) return outputSettings.empty() || AVVideoOutputSettings::read(outputSettings);
  return false;
}

bool AVAssetWriter::canAdd(const AVAssetWriterInput& input) const {
  std::lock_guard lock(state_->mutex);
  return !input.isAttached() && canApplyLocked(input.outputSettings(), input.mediaType());
}

void AVAssetWriter::add(const std::shared_ptr<AVAssetWriterInput>& input) {
  std::lock_guard lock(state_->mutex);
  if (!input || input->isAttached() || !canApplyLocked(input->outputSettings(), input->mediaType())) return;
  input->attach(state_, state_->muxer.addTrack());
  inputs_.push_back(input);
}

bool AVAssetWriter::startWriting() {
  std::lock_guard lock(state_->mutex);
  if (state_->status != Status::unknown) return false;
  if (auto error = state_->muxer.open(movieFragmentInterval_)) {
    state_->status = Status::failed;
    state_->error = std::move(error);
    return false;
  }
  state_->status = Status::writing;
  return true;
}

void AVAssetWriter::startSession(const CMTime& sourceTime) {
  std::lock_guard lock(state_->mutex);
  if (state_->status == Status::writing) state_->muxer.startSession(sourceTime);
}

void AVAssetWriter::finishWriting(std::function<void()> completionHandler) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->takesMedia()) {
      state_->finishing = true;
      queue_.async([self = shared_from_this(), completionHandler = std::move(completionHandler)] {
        self->finish();
        if (completionHandler) completionHandler();
      });
      return;
    }
  }
  if (completionHandler) completionHandler();
}

void AVAssetWriter::finish() {
  std::lock_guard lock(state_->mutex);
  if (state_->status != Status::writing) return;
  for (const auto& input : inputs_) input->finishLocked();
  if (state_->status != Status::writing) return;
  if (auto error = state_->muxer.finish()) {
    state_->status = Status::failed;
    state_->error = std::move(error);
    return;
  }
  state_->status = Status::completed;
}

void AVAssetWriter::cancelWriting() {
  std::lock_guard lock(state_->mutex);
  if (state_->status != Status::unknown && state_->status != Status::writing) return;
  state_->muxer.cancel();
  state_->status = Status::cancelled;
}

}  // namespace platform
