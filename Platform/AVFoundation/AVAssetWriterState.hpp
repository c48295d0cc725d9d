#pragma once

#include <mutex>
#include <optional>

#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVAssetWriterMuxer.hpp"

namespace platform {

// What a writer shares with its inputs, under one lock: the status, the
// error that ended it or that an append met last, and the file.
struct AVAssetWriterState {
  AVAssetWriterState(std::filesystem::path path, AVFileType fileType) : muxer(std::move(path), fileType) {}

  // Writing, and finishWriting not yet called.
  bool takesMedia() const noexcept { return status == AVAssetWriterStatus::writing && !finishing; }
  // An error of the file itself ends the writer; any other is the sample's alone.
  void report(AVAssetWriterError failure) {
    if (failure.errorCase() == AVAssetWriterError::Case::fileWriteFailed) {
      status = AVAssetWriterStatus::failed;
      muxer.cancel();
    }
    error = std::move(failure);
  }

  std::mutex mutex;
  AVAssetWriterStatus status = AVAssetWriterStatus::unknown;
  bool finishing = false;
  std::optional<AVAssetWriterError> error;
  AVAssetWriterMuxer muxer;
};

}  // namespace platform
