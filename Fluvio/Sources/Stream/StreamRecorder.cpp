#include "Fluvio/Sources/Stream/StreamRecorder.hpp"

#include <asio/post.hpp>
#include <cmath>

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Foundation/FileManager.hpp"
#include "Platform/Foundation/SearchPath.hpp"
#include "Platform/Foundation/UUID.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace fluvio {
namespace {

using platform::AVAssetWriter;
using platform::AVMediaType;
using platform::URL;

constexpr double minimumMovieFragmentInterval = 10;

URL appendingUUIDName(const URL& folder) {
  return folder.appendingPathComponent(platform::UUID().uuidString()).appendingPathExtension("mp4");
}

std::optional<platform::AVFileType> fileType(const std::string& pathExtension) {
  if (pathExtension == "mp4") return platform::AVFileTypeMPEG4;
  if (pathExtension == "mov") return platform::AVFileTypeQuickTimeMovie;
  return std::nullopt;
}

// A buffer without a format description counts as audio.
bool isVideo(const platform::CMSampleBuffer& sampleBuffer) {
  const auto& format = sampleBuffer.formatDescription();
  return format && format->mediaType() == platform::kCMMediaType_Video;
}

}  // namespace

bool StreamRecorder::Backlog::admit(const platform::CMSampleBuffer& sampleBuffer) {
  if (awaitingKeyFrame_ && isNotSync(sampleBuffer)) {
    ++dropped_;
    return false;
  }
  if (pending_.fetch_add(1) >= limit_) {
    pending_.fetch_sub(1);
    ++dropped_;
    awaitingKeyFrame_ = true;
    return false;
  }
  awaitingKeyFrame_ = false;
  return true;
}

std::shared_ptr<StreamRecorder> StreamRecorder::make(platform::Executor executor) {
  return Actor::make<StreamRecorder>(std::move(executor));
}

platform::Async<StreamRecorder::Settings> StreamRecorder::settings() {
  return isolated([self = shared_from_this()]() -> platform::Async<Settings> { co_return self->settings_; });
}

platform::Async<std::optional<URL>> StreamRecorder::outputURL() {
  return isolated([self = shared_from_this()]() -> platform::Async<std::optional<URL>> {
    if (!self->writer_) co_return std::nullopt;
    co_return self->writer_->outputURL();
  });
}

// The strand's result type must be default-constructible, which a stream is not.
platform::Async<platform::AsyncStream<StreamRecorder::Error>> StreamRecorder::error() {
  auto body = isolated([self = shared_from_this()]() -> platform::Async<std::optional<platform::AsyncStream<Error>>> {
    auto [stream, continuation] =
        platform::AsyncStream<Error>::makeStream(platform::BufferingPolicy::bufferingOldest(errorLimit));
    self->setContinuation(std::move(continuation));
    co_return std::move(stream);
  });
  auto stream = co_await std::move(body);
  co_return std::move(*stream);
}

platform::Async<bool> StreamRecorder::isRecording() {
  return isolated([self = shared_from_this()]() -> platform::Async<bool> { co_return self->isRecording_; });
}

platform::Async<std::optional<double>> StreamRecorder::movieFragmentInterval() {
  return isolated([self = shared_from_this()]() -> platform::Async<std::optional<double>> {
    co_return self->movieFragmentInterval_;
  });
}

platform::Async<std::optional<std::uint8_t>> StreamRecorder::videoTrackId() {
  return isolated(
      [self = shared_from_this()]() -> platform::Async<std::optional<std::uint8_t>> { co_return self->videoTrackId_; });
}

platform::Async<std::optional<std::uint8_t>> StreamRecorder::audioTrackId() {
  return isolated(
      [self = shared_from_this()]() -> platform::Async<std::optional<std::uint8_t>> { co_return self->audioTrackId_; });
}

platform::Async<std::optional<URL>> StreamRecorder::moviesDirectory() {
  return isolated([self = shared_from_this()]() -> platform::Async<std::optional<URL>> {
    co_return self->resolvedMoviesDirectory();
  });
}

platform::Async<void> StreamRecorder::setMovieFragmentInterval(std::optional<double> movieFragmentInterval) {
  return isolated([self = shared_from_this(), interval = movieFragmentInterval]() mutable -> platform::Async<void> {
    // Written so that not-a-number also becomes the minimum.
    if (interval && !(*interval >= minimumMovieFragmentInterval)) interval = minimumMovieFragmentInterval;
    self->movieFragmentInterval_ = interval;
    co_return;
  });
}

platform::Async<void> StreamRecorder::selectTrack(std::optional<std::uint8_t> trackId,
                                                  platform::CMMediaType mediaType) {
  return isolated([self = shared_from_this(), id = trackId, type = mediaType]() -> platform::Async<void> {
    if (type == platform::kCMMediaType_Audio) self->audioTrackId_ = id;
    if (type == platform::kCMMediaType_Video) self->videoTrackId_ = id;
    co_return;
  });
}

platform::Async<void> StreamRecorder::startRecording(std::optional<URL> url, Settings settings) {
  return isolated([this, url = std::move(url), settings = std::move(settings)]() mutable {
    return startRecordingBody(std::move(url), std::move(settings));
  });
}

platform::Async<void> StreamRecorder::startRecordingBody(std::optional<URL> url, Settings settings) {
  if (isRecording_) throw Error::invalidState();
  const URL outputURL = makeOutputURL(url);
  if (platform::FileManager::defaultManager().fileExists(outputURL.path())) throw Error::fileAlreadyExists(outputURL);
  const std::string pathExtension = outputURL.pathExtension();
  const auto type = fileType(pathExtension);
  if (!type) throw Error::notSupportedFileType(pathExtension);

  auto writer = AVAssetWriter::make(outputURL, *type);
  if (movieFragmentInterval_) {
    writer->setMovieFragmentInterval(platform::CMTime::makeWithSeconds(*movieFragmentInterval_, 1));
  }
  writer_ = std::move(writer);
  settings_ = std::move(settings);
  isRecording_ = true;
  co_return;
}

platform::Async<URL> StreamRecorder::stopRecording() {
  // As with error(): a URL has no default value.
  auto body = isolated([this] { return stopRecordingBody(); });
  auto url = co_await std::move(body);
  co_return std::move(*url);
}

platform::Async<std::optional<URL>> StreamRecorder::stopRecordingBody() {
  // Kept alive across the wait for the writer.
  const auto self = shared_from_this();
  if (!isRecording_ || isStopping_) throw Error::invalidState();
  const auto writer = writer_;
  if (!writer || writer->status() != AVAssetWriter::Status::writing) {
    auto failure = Error::failedToFinishWriting(writer ? writer->error() : std::nullopt);
    reset();
    throw failure;
  }

  isStopping_ = true;
  for (const auto& [mediaType, input] : writerInputs_) input->markAsFinished();
  // Made before it is awaited: g++ 12 destroys temporaries of a co_await
  // expression twice, and this one holds a reference to the writer.
  auto finished = platform::withContinuation<void>([writer](platform::Continuation<void> continuation) {
    writer->finishWriting([continuation] { continuation.resume(); });
  });
  co_await std::move(finished);
  const URL outputURL = writer->outputURL();
  const bool completed = writer->status() == AVAssetWriter::Status::completed;
  const auto writerError = writer->error();
  reset();
  if (!completed) {
    TP_ERROR(logger(), "recording to ", outputURL.path(), " failed: ", writerError ? writerError->what() : "unknown");
    throw Error::failedToFinishWriting(writerError);
  }
  co_return outputURL;
}

void StreamRecorder::reset() {
  isRecording_ = false;
  isStopping_ = false;
  setContinuation(std::nullopt);
  writer_.reset();
  writerInputs_.clear();
}

void StreamRecorder::setContinuation(std::optional<platform::AsyncStream<Error>::Continuation> continuation) {
  if (continuation_) continuation_->finish();
  continuation_ = std::move(continuation);
}

const std::optional<URL>& StreamRecorder::resolvedMoviesDirectory() {
  if (moviesDirectory_) return *moviesDirectory_;
  const auto paths = platform::searchPathForDirectoriesInDomains(platform::SearchPathDirectory::documentDirectory,
                                                                 platform::SearchPathDomainMask::userDomainMask, true);
  std::optional<URL> directory;
  if (!paths.empty()) {
    directory = URL::fileURL(paths.front());
    try {
      platform::FileManager::defaultManager().createDirectory(*directory, true);
    } catch (const std::exception& error) {
      TP_WARN(logger(), "cannot create the documents directory: ", error.what());
    }
  }
  return moviesDirectory_.emplace(std::move(directory));
}

URL StreamRecorder::makeOutputURL(const std::optional<URL>& url) {
  if (url && url->isFileURL()) return url->pathExtension().empty() ? appendingUUIDName(*url) : *url;
  const auto& folder = resolvedMoviesDirectory();
  if (!folder) {
    throw Error::failedToCreateAssetWriter(std::make_exception_ptr(platform::AVAssetWriterError(
        platform::AVAssetWriterError::Case::invalidOutputURL, "there is no documents directory")));
  }
  if (!url) return appendingUUIDName(*folder);
  const URL inFolder = folder->appendingPathComponent(url->path());
  return url->pathExtension().empty() ? appendingUUIDName(inFolder) : inFolder;
}

void StreamRecorder::stream(StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
                            const std::shared_ptr<platform::AVAudioTime>& when) {
  post(audioBuffer, when);
}

void StreamRecorder::stream(StreamConvertible&, const platform::CMSampleBuffer& sampleBuffer) { post(sampleBuffer); }

void StreamRecorder::mixer(MediaMixer&, const platform::CMSampleBuffer& sampleBuffer) { post(sampleBuffer); }

void StreamRecorder::mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& audioBuffer,
                           const std::shared_ptr<platform::AVAudioTime>& when) {
  post(audioBuffer, when);
}

void StreamRecorder::post(const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
                          const std::shared_ptr<platform::AVAudioTime>& when) {
  const auto pcm = std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(audioBuffer);
  if (!pcm || !when) return;
  if (const auto sampleBuffer = makeSampleBuffer(*pcm, *when)) post(*sampleBuffer);
}

// One strand keeps the buffers in the order they were delivered.
void StreamRecorder::post(platform::CMSampleBuffer sampleBuffer) {
  Backlog& backlog = isVideo(sampleBuffer) ? videoBacklog_ : audioBacklog_;
  if (!backlog.admit(sampleBuffer)) return;
  asio::post(strand(), [self = shared_from_this(), &backlog, sampleBuffer = std::move(sampleBuffer)] {
    backlog.leave();
    self->append(sampleBuffer);
  });
}

void StreamRecorder::append(const platform::CMSampleBuffer& sampleBuffer) {
  if (!isRecording_ || isStopping_ || !writer_) return;
  const AVMediaType mediaType = isVideo(sampleBuffer) ? platform::AVMediaTypeVideo : platform::AVMediaTypeAudio;
  const auto input = makeWriterInput(mediaType, sampleBuffer.formatDescription());
  if (!input || writer_->inputs().size() != settings_.size()) return;
  if (writer_->status() == AVAssetWriter::Status::unknown) {
    writer_->startWriting();
    writer_->startSession(sampleBuffer.presentationTimeStamp());
  }
  if (!input->isReadyForMoreMediaData()) return;
  if (!input->append(sampleBuffer) && continuation_) continuation_->yield(Error::failedToAppend(writer_->error()));
}

std::shared_ptr<platform::AVAssetWriterInput> StreamRecorder::makeWriterInput(
    AVMediaType mediaType, const std::shared_ptr<const platform::CMFormatDescription>& sourceFormatHint) {
  if (const auto existing = writerInputs_.find(mediaType); existing != writerInputs_.end()) return existing->second;
  // Only the media types of the settings are recorded: an input for any
  // other would count towards them and start the file without the rest.
  if (!settings_.contains(mediaType)) return nullptr;
  auto outputSettings = makeOutputSettings(settings_, mediaType, sourceFormatHint.get());
  if (!writer_ || !writer_->canApply(outputSettings, mediaType)) return nullptr;
  auto input = platform::AVAssetWriterInput::make(mediaType, std::move(outputSettings), sourceFormatHint);
  if (!input) {
    writerInputs_.erase(mediaType);
    return nullptr;
  }
  input->setExpectsMediaDataInRealTime(true);
  writerInputs_[mediaType] = input;
  writer_->add(input);
  return input;
}

}  // namespace fluvio
