#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Fluvio/Sources/Stream/MediaMixerOutput.hpp"
#include "Fluvio/Sources/Stream/StreamOutput.hpp"
#include "Fluvio/Sources/Stream/StreamRecorderSettings.hpp"
#include "Platform/AVFoundation/AVAssetWriter.hpp"
#include "Platform/AVFoundation/AVAssetWriterInput.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/Foundation/URL.hpp"

namespace fluvio {

// Records a stream's or the mixer's media into an MPEG-4 or QuickTime movie
// file. Attached as an output, it posts every buffer to its strand in the
// order it was delivered; the writer's inputs are made by the first buffer
// of each media type, and writing starts once there is one input for every
// media type of the settings. Append failures are reported on the error
// sequence, not thrown. A writer that falls behind loses whole buffers
// before they reach it, counted; video then resumes at a key frame, so the
// file never holds a frame whose reference is missing.
class StreamRecorder final : public platform::Actor,
                             public StreamOutput,
                             public MediaMixerOutput,
                             public std::enable_shared_from_this<StreamRecorder> {
 public:
  using Settings = StreamRecorderSettings;

  class Error : public std::exception {
   public:
    enum class Case {
      fileAlreadyExists,
      notSupportedFileType,
      failedToCreateAssetWriter,
      failedToCreateAssetWriterInput,
      failedToAppend,
      failedToFinishWriting,
      invalidState,
    };

    static Error fileAlreadyExists(platform::URL outputURL);
    static Error notSupportedFileType(std::string pathExtension);
    static Error failedToCreateAssetWriter(std::exception_ptr error);
    static Error failedToCreateAssetWriterInput(std::exception_ptr error);
    static Error failedToAppend(std::optional<platform::AVAssetWriterError> error);
    static Error failedToFinishWriting(std::optional<platform::AVAssetWriterError> error);
    static Error invalidState();

    Case errorCase() const noexcept { return case_; }
    // fileAlreadyExists only.
    const std::optional<platform::URL>& outputURL() const noexcept { return outputURL_; }
    // notSupportedFileType only.
    const std::string& pathExtension() const noexcept { return pathExtension_; }
    // The two creation cases.
    const std::exception_ptr& underlyingError() const noexcept { return underlyingError_; }
    // failedToAppend and failedToFinishWriting: the writer's error, if it had one.
    const std::optional<platform::AVAssetWriterError>& writerError() const noexcept { return writerError_; }
    // "StreamRecorder.Error.<case>", with the payload after a colon.
    const char* what() const noexcept override { return message_.c_str(); }

   private:
    Error(Case errorCase, std::string detail);

    Case case_;
    std::optional<platform::URL> outputURL_;
    std::string pathExtension_;
    std::exception_ptr underlyingError_;
    std::optional<platform::AVAssetWriterError> writerError_;
    std::string message_;
  };

  // Buffers delivered and not yet written, at most, per media type. The
  // writer encodes on the recorder's strand, and video is where it falls
  // behind: a second of frames. Audio is cheap to write and must stay
  // continuous (a track's audio runs on from its first sample, so a lost
  // buffer shifts the rest), so it gets some ten seconds before it gives way.
  static constexpr std::size_t pendingVideoLimit = 30;
  static constexpr std::size_t pendingAudioLimit = 512;
  // Failures kept for a listener that has not read them: the first say why.
  static constexpr std::size_t errorLimit = 64;

  // Buffers dropped since the recorder was made because the writer was behind.
  struct Drops {
    std::uint64_t video = 0;
    std::uint64_t audio = 0;
    bool operator==(const Drops&) const = default;
  };

  static const Settings& defaultSettings() { return defaultStreamRecorderSettings(); }
  StreamRecorder(Key key, platform::Executor executor) : Actor(key, std::move(executor)) {}
  static std::shared_ptr<StreamRecorder> make(platform::Executor executor = platform::globalExecutor());

  platform::Async<Settings> settings();
  // The writer's output URL; none without a writer.
  platform::Async<std::optional<platform::URL>> outputURL();
  // Each read hands out a new sequence and finishes the one handed out
  // before; it ends when the recording stops.
  platform::Async<platform::AsyncStream<Error>> error();
  platform::Async<bool> isRecording();
  platform::Async<std::optional<double>> movieFragmentInterval();
  platform::Async<std::optional<std::uint8_t>> videoTrackId() override;
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override;
  // The user's documents directory, made when missing; none when there is
  // no such directory.
  platform::Async<std::optional<platform::URL>> moviesDirectory();

  // None clears it; anything else is stored as at least 10 seconds (not a
  // number as 10). Read by the next start.
  platform::Async<void> setMovieFragmentInterval(std::optional<double> movieFragmentInterval);
  // Throws Error (invalidState while recording or stopping, fileAlreadyExists,
  // notSupportedFileType, failedToCreateAssetWriter when the target needs the
  // documents directory and there is none) or the writer's own error.
  platform::Async<void> startRecording(std::optional<platform::URL> url = std::nullopt,
                                       Settings settings = defaultStreamRecorderSettings());
  // The URL of the finished file. Throws invalidState unless recording, and
  // failedToFinishWriting when nothing was written or the file could not be
  // finished; the recorder is idle afterwards either way.
  platform::Async<platform::URL> stopRecording();
  platform::Async<void> selectTrack(std::optional<std::uint8_t> trackId, platform::CMMediaType mediaType) override;
  // Thread-safe.
  Drops drops() const noexcept { return {videoBacklog_.dropped(), audioBacklog_.dropped()}; }

  // Audio that is not PCM is dropped.
  void stream(StreamConvertible& stream, const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
              const std::shared_ptr<platform::AVAudioTime>& when) override;
  void stream(StreamConvertible& stream, const platform::CMSampleBuffer& sampleBuffer) override;
  void mixer(MediaMixer& mixer, const platform::CMSampleBuffer& sampleBuffer) override;
  void mixer(MediaMixer& mixer, const std::shared_ptr<platform::AVAudioPCMBuffer>& audioBuffer,
             const std::shared_ptr<platform::AVAudioTime>& when) override;

 private:
  // The buffers of one media type on their way to the strand.
  class Backlog {
   public:
    explicit Backlog(std::size_t limit) : limit_(limit) {}
    // Whether the buffer may go to the strand; a refused one is counted.
    // After a refusal, frames that depend on an earlier one are refused
    // too, up to the next key frame.
    bool admit(const platform::CMSampleBuffer& sampleBuffer);
    void leave() noexcept { pending_.fetch_sub(1); }
    std::uint64_t dropped() const noexcept { return dropped_.load(); }

   private:
    const std::size_t limit_;
    std::atomic<std::size_t> pending_ = 0;
    std::atomic<bool> awaitingKeyFrame_ = false;
    std::atomic<std::uint64_t> dropped_ = 0;
  };

  // The bodies, on the strand.
  platform::Async<void> startRecordingBody(std::optional<platform::URL> url, Settings settings);
  platform::Async<std::optional<platform::URL>> stopRecordingBody();

  void post(platform::CMSampleBuffer sampleBuffer);
  void post(const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
            const std::shared_ptr<platform::AVAudioTime>& when);
  void append(const platform::CMSampleBuffer& sampleBuffer);
  std::shared_ptr<platform::AVAssetWriterInput> makeWriterInput(
      platform::AVMediaType mediaType, const std::shared_ptr<const platform::CMFormatDescription>& sourceFormatHint);
  platform::URL makeOutputURL(const std::optional<platform::URL>& url);
  const std::optional<platform::URL>& resolvedMoviesDirectory();
  void setContinuation(std::optional<platform::AsyncStream<Error>::Continuation> continuation);
  // Back to idle: the error sequence ends, writer and inputs are dropped.
  void reset();

  Settings settings_ = defaultStreamRecorderSettings();
  bool isRecording_ = false;
  // Between stopRecording's start and its end: nothing more is appended.
  bool isStopping_ = false;
  std::optional<double> movieFragmentInterval_;
  std::optional<std::uint8_t> videoTrackId_ = 255;
  std::optional<std::uint8_t> audioTrackId_ = 255;
  std::optional<std::optional<platform::URL>> moviesDirectory_;
  std::shared_ptr<platform::AVAssetWriter> writer_;
  std::optional<platform::AsyncStream<Error>::Continuation> continuation_;
  std::map<platform::AVMediaType, std::shared_ptr<platform::AVAssetWriterInput>> writerInputs_;
  Backlog videoBacklog_{pendingVideoLimit};
  Backlog audioBacklog_{pendingAudioLimit};
};

}  // namespace fluvio
