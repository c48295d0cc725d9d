#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVAssetWriterInput.hpp"
#include "Platform/AVFoundation/AVAssetWriterState.hpp"
#include "Platform/AVFoundation/AVFileType.hpp"
#include "Platform/AVFoundation/AVOutputSettings.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/Foundation/URL.hpp"

namespace platform {

// Writes media into a new MPEG-4 or QuickTime movie file, one track per
// input. Inputs are added before writing starts; the file is created by
// startWriting, and sample times count from the time the session starts
// at. Thread-safe; finishing runs on the writer's own queue.
class AVAssetWriter : public std::enable_shared_from_this<AVAssetWriter> {
 public:
  using Error = AVAssetWriterError;
  using Status = AVAssetWriterStatus;

  // Throws Error: invalidOutputURL for a URL that is not a file URL or whose
  // folder does not exist, fileAlreadyExists when something is at its path.
  static std::shared_ptr<AVAssetWriter> make(const URL& outputURL, AVFileType outputFileType);

  const URL& outputURL() const noexcept { return outputURL_; }
  AVFileType outputFileType() const noexcept { return outputFileType_; }
  Status status() const;
  // What ended the writer, or what the last refused append met.
  std::optional<Error> error() const;

  // Writes the movie in fragments of about this length; read by startWriting.
  std::optional<CMTime> movieFragmentInterval() const;
  void setMovieFragmentInterval(std::optional<CMTime> movieFragmentInterval);

  std::vector<std::shared_ptr<AVAssetWriterInput>> inputs() const;
  // Before writing starts: settings an input of the media type can work
  // with (empty ones take encoded media).
  bool canApply(const AVOutputSettings& outputSettings, AVMediaType mediaType) const;
  bool canAdd(const AVAssetWriterInput& input) const;
  // Does nothing for an input that canAdd refuses.
  void add(const std::shared_ptr<AVAssetWriterInput>& input);

  // Creates the file. False, with status failed and the error, when it
  // cannot be created; false without a change unless the status is unknown.
  bool startWriting();
  // Source times from here on go into the file from its start; earlier
  // media is left out. Only the first call counts.
  void startSession(const CMTime& sourceTime);
  // Finishes every input, writes the rest and closes the file on the
  // writer's queue, then calls `completionHandler` there: status completed,
  // or failed with the error. Unless the writer is writing, the handler is
  // called at once and nothing changes.
  void finishWriting(std::function<void()> completionHandler);
  // Stops and removes the file.
  void cancelWriting();

 private:
  AVAssetWriter(URL outputURL, AVFileType outputFileType);

  bool canApplyLocked(const AVOutputSettings& outputSettings, AVMediaType mediaType) const;
  void finish();

  const URL outputURL_;
  const AVFileType outputFileType_;
  std::shared_ptr<AVAssetWriterState> state_;
  std::optional<CMTime> movieFragmentInterval_;
  std::vector<std::shared_ptr<AVAssetWriterInput>> inputs_;
  SerialQueue queue_;
};

}  // namespace platform
