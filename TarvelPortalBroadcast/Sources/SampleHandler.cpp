#include "TarvelPortalBroadcast/Sources/SampleHandler.hpp"

#include <asio/strand.hpp>

#include "Platform/Concurrency/Task.hpp"
#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/RPBroadcastExtension.hpp"
#include "TarvelPortalBroadcast/Sources/SampleHandlerError.hpp"

namespace tarvelportalbroadcast {
namespace {

using platform::Async;

fluvio::VideoCodecSettings broadcastVideoSettings() {
  return fluvio::VideoCodecSettings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1),
                                    fluvio::VideoCodecSettings::ScalingMode::trim,
                                    fluvio::VideoCodecSettings::BitRateMode::average(), 2, std::nullopt,
                                    std::vector<double>{0.0, 0.0}, false, true, std::nullopt);
}

fluvio::AudioCodecSettings broadcastAudioSettings() {
  return fluvio::AudioCodecSettings(128'000, true, std::nullopt, 0, fluvio::AudioCodecSettings::Format::aac);
}

rtmpfluvio::RTMPConnection::Configuration connectionConfiguration() {
  rtmpfluvio::RTMPConnection::Configuration configuration;
  configuration.swfUrl = std::nullopt;
  configuration.pageUrl = std::nullopt;
  configuration.fourCcList = rtmpfluvio::RTMPConnection::supportedFourCcList();
  configuration.videoFourCcInfoMap = rtmpfluvio::RTMPConnection::supportedVideoFourCcInfoMap();
  configuration.audioFourCcInfoMap = rtmpfluvio::RTMPConnection::supportedAudioFourCcInfoMap();
  configuration.capsEx = 0;
  configuration.timeout = std::chrono::seconds(15);
  configuration.requestTimeout = std::chrono::milliseconds(3000);
  configuration.chunkSize = 8192;
  return configuration;
}

// The service's app audio as a PCM buffer with its time; nothing for a
// buffer that is not linear PCM.
std::optional<std::pair<std::shared_ptr<platform::AVAudioPCMBuffer>, std::shared_ptr<platform::AVAudioTime>>>
makeAppAudio(const platform::CMSampleBuffer& sampleBuffer) {
  const auto format = platform::AVAudioFormat::make(sampleBuffer.formatDescription());
  if (!format) return std::nullopt;
  const auto frames = static_cast<platform::AVAudioFrameCount>(sampleBuffer.numSamples());
  auto buffer = platform::AVAudioPCMBuffer::make(format, frames);
  if (!buffer) return std::nullopt;
  buffer->setFrameLength(frames);
  std::vector<std::span<std::uint8_t>> destinations;
  for (const auto& entry : buffer->mutableAudioBufferList()->buffers()) {
    destinations.emplace_back(static_cast<std::uint8_t*>(entry.mData), entry.mDataByteSize);
  }
  if (sampleBuffer.copyPCMDataIntoAudioBuffers(0, frames, destinations) != platform::noErr) return std::nullopt;
  const auto pts = sampleBuffer.presentationTimeStamp().convertScale(platform::HostClock::ticksPerSecond);
  auto when = platform::AVAudioTime::make(static_cast<std::uint64_t>(pts.value));
  return std::pair(std::move(buffer), std::move(when));
}

}  // namespace

std::shared_ptr<SampleHandler> SampleHandler::make() { return std::shared_ptr<SampleHandler>(new SampleHandler()); }

SampleHandler::SampleHandler()
    : connection_(rtmpfluvio::RTMPConnection::make(connectionConfiguration())),
      strand_(asio::make_strand(platform::globalExecutor())),
      video_(videoQueueLimit),
      audio_(audioQueueLimit) {}

const std::shared_ptr<rtmpfluvio::RTMPStream>& SampleHandler::stream() {
  std::call_once(streamOnce_, [this] { stream_ = rtmpfluvio::RTMPStream::make(connection_, std::nullopt); });
  return stream_;
}

void SampleHandler::broadcastStarted(const std::optional<platform::RPBroadcastSetupInfo>&) {
  auto config = readBroadcastConfig();
  if (!config) {
    finishBroadcastWithError(SampleHandlerError(SampleHandlerError::Case::missingCredentials));
    return;
  }
  platform::spawn(strand_, start(std::move(*config)), "SampleHandler.start");
}

Async<void> SampleHandler::start(BroadcastConfig config) {
  const auto self = shared_from_this();
  try {
    const auto& stream = this->stream();
    auto video = stream->setVideoSettings(broadcastVideoSettings());
    co_await std::move(video);
    auto audio = stream->setAudioSettings(broadcastAudioSettings());
    co_await std::move(audio);
    if (isFinished_) co_return;
    auto watch = connection_->status();
    auto statuses = co_await std::move(watch);
    auto connect = connection_->connect(config.url);
    co_await std::move(connect);
    if (isFinished_) co_return;
    auto publish = stream->publish(std::move(config.key), rtmpfluvio::RTMPStream::HowToPublish::live);
    co_await std::move(publish);
    // A finish that came while publishing has already closed the stream.
    if (isFinished_) co_return;
    isPublishing_ = true;
    platform::spawn(strand_, watchConnection(std::move(statuses)), "SampleHandler.connection");
    platform::spawn(strand_, forwardVideo(), "SampleHandler.video");
    platform::spawn(strand_, forwardAudio(), "SampleHandler.audio");
  } catch (const std::exception& error) {
    if (!isFinished_) finishBroadcastWithError(error);
  }
}

void SampleHandler::processSampleBuffer(const platform::CMSampleBuffer& sampleBuffer,
                                        platform::RPSampleBufferType sampleBufferType) {
  if (!isPublishing_) return;
  switch (sampleBufferType) {
    case platform::RPSampleBufferType::video:
      if (!video_.push(sampleBuffer)) ++droppedBuffers_;
      break;
    case platform::RPSampleBufferType::audioApp:
      if (auto audio = makeAppAudio(sampleBuffer)) {
        if (!audio_.push(AppAudio{std::move(audio->first), std::move(audio->second)})) ++droppedBuffers_;
      }
      break;
    case platform::RPSampleBufferType::audioMic:
      break;
  }
}

Async<void> SampleHandler::forwardVideo() {
  const auto self = shared_from_this();
  const auto& stream = this->stream();
  for (std::uint64_t count = 0;; ++count) {
    auto next = video_.stream.next();
    auto buffer = co_await std::move(next);
    if (!buffer) co_return;
    auto append = stream->append(std::move(*buffer));
    co_await std::move(append);
    if (count % 30 == 0) {
      auto info = stream->info();
      noteBytesSent(co_await std::move(info));
    }
  }
}

Async<void> SampleHandler::forwardAudio() {
  const auto self = shared_from_this();
  const auto& stream = this->stream();
  for (;;) {
    auto next = audio_.stream.next();
    auto audio = co_await std::move(next);
    if (!audio) co_return;
    auto append = stream->append(std::move(audio->buffer), std::move(audio->when));
    co_await std::move(append);
  }
}

Async<void> SampleHandler::watchConnection(platform::AsyncStream<rtmpfluvio::RTMPStatus> statuses) {
  const auto self = shared_from_this();
  for (;;) {
    auto next = statuses.next();
    const auto status = co_await std::move(next);
    if (!status) co_return;
    const auto code = rtmpfluvio::connectionCode(status->code());
    if (code != rtmpfluvio::RTMPConnectionCode::connectClosed && code != rtmpfluvio::RTMPConnectionCode::connectFailed) {
      continue;
    }
    // Closed by our own finish: nothing to report.
    if (isFinished_.exchange(true)) co_return;
    stopForwarding();
    finishBroadcastWithError(rtmpfluvio::RTMPConnection::Error::socketErrorOccurred(std::nullopt));
    co_return;
  }
}

void SampleHandler::stopForwarding() {
  isPublishing_ = false;
  video_.input.finish();
  audio_.input.finish();
}

void SampleHandler::noteBytesSent(const rtmpfluvio::RTMPStreamInfo& info) {
  bytesSent_ = static_cast<std::uint64_t>(std::max<std::int64_t>(info.byteCount, 0));
}

void SampleHandler::broadcastFinished() {
  isFinished_ = true;
  stopForwarding();
  platform::spawn(strand_, closeAll(), "SampleHandler.finish");
  clearBroadcastConfig();
}

Async<void> SampleHandler::closeAll() {
  const auto self = shared_from_this();
  try {
    auto close = stream()->close();
    co_await std::move(close);
  } catch (const std::exception&) {
  }
  try {
    auto close = connection_->close();
    co_await std::move(close);
  } catch (const std::exception&) {
  }
}

platform::RPBroadcastStatistics SampleHandler::broadcastStatistics() const {
  return {bytesSent_.load(), 0, droppedBuffers_.load()};
}

}  // namespace tarvelportalbroadcast

using tarvelportalbroadcast::SampleHandler;
RP_EXTENSION_PRINCIPAL_CLASS(SampleHandler)
