#include "TarvelPortalBroadcast/Sources/SampleHandler.hpp"

#include "Platform/Concurrency/StrandExecutor.hpp"
#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/RPBroadcastExtension.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionCode.hpp"
#include "TarvelPortalBroadcast/Sources/BroadcastLogger.hpp"
#include "TarvelPortalBroadcast/Sources/BroadcastSettings.hpp"
#include "TarvelPortalBroadcast/Sources/SampleHandlerError.hpp"

namespace tarvelportalbroadcast {
namespace {

using platform::Async;

// Host nanoseconds of a time on any timescale.
std::uint64_t hostTime(const platform::CMTime& time) {
  const auto scaled = time.convertScale(platform::HostClock::ticksPerSecond);
  return scaled.value > 0 ? static_cast<std::uint64_t>(scaled.value) : 0;
}

bool endsConnection(const rtmpfluvio::RTMPStatus& status) {
  const auto code = rtmpfluvio::connectionCode(status.code());
  return code == rtmpfluvio::RTMPConnectionCode::connectClosed || code == rtmpfluvio::RTMPConnectionCode::connectFailed;
}

}  // namespace

std::shared_ptr<SampleHandler> SampleHandler::make() { return std::shared_ptr<SampleHandler>(new SampleHandler()); }

SampleHandler::SampleHandler()
    : connection_(rtmpfluvio::RTMPConnection::make(broadcastConnectionConfiguration())),
      strand_(platform::StrandExecutor(platform::globalExecutor())) {}

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
  spawnHeld("SampleHandler.start", &SampleHandler::start, std::move(*config));
}

Async<void> SampleHandler::start(BroadcastConfig config) {
  try {
    const auto& stream = this->stream();
    auto video = stream->setVideoSettings(broadcastVideoSettings());
    co_await std::move(video);
    auto audio = stream->setAudioSettings(broadcastAudioSettings());
    co_await std::move(audio);
    auto watch = connection_->status();
    auto statuses = co_await std::move(watch);
    if (hasEnded()) co_return;
    auto connect = connection_->connect(std::move(config.url));
    co_await std::move(connect);
    // A finish during the connect may have closed the connection before it
    // was up: close it again now that it is.
    if (hasEnded()) {
      auto close = closeAll();
      co_await std::move(close);
      co_return;
    }
    auto publish = stream->publish(std::move(config.key), rtmpfluvio::RTMPStream::HowToPublish::live);
    co_await std::move(publish);
    if (!beginPublishing()) co_return;
    platform::spawn(strand_, watchConnection(std::move(statuses)), "SampleHandler.connection");
    forwarders_ = 2;
    spawnHeld("SampleHandler.video", &SampleHandler::forwardVideo);
    spawnHeld("SampleHandler.audio", &SampleHandler::forwardAudio);
  } catch (const std::exception& error) {
    // After a finish the failure is the closing's doing, not the broadcast's.
    if (claimEnd()) finishBroadcastWithError(error);
  }
}

bool SampleHandler::claimEnd() {
  const std::lock_guard lock(endMutex_);
  return !std::exchange(hasEnded_, true);
}

bool SampleHandler::hasEnded() const {
  const std::lock_guard lock(endMutex_);
  return hasEnded_;
}

bool SampleHandler::beginPublishing() {
  const std::lock_guard lock(endMutex_);
  if (hasEnded_) return false;
  isPublishing_.store(true, std::memory_order_release);
  return true;
}

void SampleHandler::processSampleBuffer(const platform::CMSampleBuffer& sampleBuffer,
                                        platform::RPSampleBufferType sampleBufferType) {
  const bool forwarded = sampleBufferType != platform::RPSampleBufferType::audioMic;
  if (!isPublishing_.load(std::memory_order_acquire)) {
    if (forwarded) ++buffersDropped_;
    return;
  }
  switch (sampleBufferType) {
    case platform::RPSampleBufferType::video:
      if (!firstPictureTime_) {
        firstPictureTime_ = hostTime(sampleBuffer.presentationTimeStamp());
        for (const auto& early : earlyAudio_.release()) pushAppAudio(early);
      }
      video_.push(sampleBuffer);
      break;
    case platform::RPSampleBufferType::audioApp:
      if (firstPictureTime_) {
        pushAppAudio(sampleBuffer);
      } else {
        holdEarlyAudio(sampleBuffer);
      }
      break;
    case platform::RPSampleBufferType::audioMic:
      break;
  }
}

void SampleHandler::holdEarlyAudio(const platform::CMSampleBuffer& sampleBuffer) {
  using Outcome = EarlySound<platform::CMSampleBuffer>::Outcome;
  const auto outcome = earlyAudio_.hold(sampleBuffer);
  if (outcome == Outcome::kept) return;
  ++buffersDropped_;
  if (outcome == Outcome::firstDropped) {
    TP_WARN(logger(), "no picture yet: app audio waits for the first screen frame and is dropped until one comes");
  }
}

void SampleHandler::pushAppAudio(const platform::CMSampleBuffer& sampleBuffer) {
  if (auto audio = appAudio_.make(sampleBuffer, *firstPictureTime_)) audio_.push(std::move(*audio));
}

Async<void> SampleHandler::forwardVideo() {
  const auto& stream = this->stream();
  for (std::uint64_t count = 0;; ++count) {
    auto next = video_.output().next();
    auto buffer = co_await std::move(next);
    if (!buffer) break;
    auto append = stream->append(std::move(*buffer));
    co_await std::move(append);
    // Often enough for the service's status line once a second.
    if (count % 15 == 0) {
      auto counted = countSent();
      co_await std::move(counted);
    }
  }
  drained_.second.yield(true);
}

Async<void> SampleHandler::forwardAudio() {
  const auto& stream = this->stream();
  for (;;) {
    auto next = audio_.output().next();
    auto audio = co_await std::move(next);
    if (!audio) break;
    auto append = stream->append(audio->buffer, audio->when);
    co_await std::move(append);
  }
  drained_.second.yield(true);
}

Async<void> SampleHandler::watchConnection(platform::AsyncStream<rtmpfluvio::RTMPStatus> statuses) {
  // Weak: the watch must not keep the handler alive after the service let go.
  const std::weak_ptr<SampleHandler> weak = weak_from_this();
  for (;;) {
    auto next = statuses.next();
    const auto status = co_await std::move(next);
    if (!status) co_return;
    if (!endsConnection(*status)) continue;
    const auto self = weak.lock();
    if (!self || !claimEnd()) co_return;
    stopForwarding();
    // What the server had by the end, not the last sample.
    auto counted = countSent();
    co_await std::move(counted);
    // The status says why the link went: the user sees that, not only that it went.
    finishBroadcastWithError(rtmpfluvio::RTMPConnection::Error::socketErrorOccurred(status->description()));
    co_return;
  }
}

void SampleHandler::stopForwarding() {
  isPublishing_.store(false, std::memory_order_release);
  video_.finish();
  audio_.finish();
}

void SampleHandler::broadcastFinished() {
  claimEnd();
  stopForwarding();
  spawnHeld("SampleHandler.finish", &SampleHandler::closeAll);
  clearBroadcastConfig();
}

Async<void> SampleHandler::closeAll() {
  for (; forwarders_ > 0; --forwarders_) {
    auto next = drained_.first.next();
    co_await std::move(next);
  }
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
  // The close sent what the encoders still held, and the connection's close
  // waited for the server to acknowledge it.
  auto counted = countSent();
  co_await std::move(counted);
}

Async<void> SampleHandler::countSent() {
  auto read = stream()->info();
  const auto info = co_await std::move(read);
  bytesSent_ = static_cast<std::uint64_t>(std::max<std::int64_t>(info.byteCount, 0));
  videoFramesSent_ = static_cast<std::uint64_t>(std::max<std::int64_t>(info.videoFramesSent, 0));
  videoFramesNotDelivered_ = static_cast<std::uint64_t>(std::max<std::int64_t>(info.videoFramesNotDelivered(), 0));
  auto readDrops = stream()->outgoingDrops();
  const auto drops = co_await std::move(readDrops);
  videoFramesDroppedByStream_ =
      drops.videoInput + drops.videoOutput + static_cast<std::uint64_t>(info.videoFramesDroppedForBacklog);
  audioPacketsDroppedByStream_ = drops.audioOutput + static_cast<std::uint64_t>(info.audioBuffersDroppedForBacklog);
}

platform::RPBroadcastStatistics SampleHandler::broadcastStatistics() const {
  return {bytesSent_.load(),
          0,
          buffersDropped_.load() + video_.dropped() + audio_.dropped(),
          videoFramesSent_.load(),
          videoFramesDroppedByStream_.load(),
          audioPacketsDroppedByStream_.load(),
          videoFramesNotDelivered_.load()};
}

}  // namespace tarvelportalbroadcast

using tarvelportalbroadcast::SampleHandler;
RP_EXTENSION_PRINCIPAL_CLASS(SampleHandler)
