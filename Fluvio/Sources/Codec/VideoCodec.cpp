#include "Fluvio/Sources/Codec/VideoCodec.hpp"

#include <exception>
#include <string>
#include <utility>

#include "Fluvio/Sources/Extension/CMFormatDescriptionExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/CoreMedia/CMClock.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {

namespace {

bool isCompressedInput(const std::shared_ptr<const platform::CMFormatDescription>& format) {
  return format && isCompressed(*format);
}

}  // namespace

std::shared_ptr<VideoCodec> VideoCodec::make(SessionMaker sessionMaker) {
  return std::make_shared<VideoCodec>(std::move(sessionMaker));
}

VideoCodec::VideoCodec(SessionMaker sessionMaker) : sessionMaker_(std::move(sessionMaker)) {}

// Dropping the codec drops its session without invalidating it.
VideoCodec::~VideoCodec() { removeObservers(); }

void VideoCodec::setSettings(VideoCodecSettings settings) {
  const auto old = std::exchange(settings_, std::move(settings));
  if (settings_.requiresNewSession(old)) {
    invalidate();
  } else {
    settings_.apply(*this, old);
  }
}

void VideoCodec::setInputFormat(std::shared_ptr<const platform::CMFormatDescription> inputFormat) {
  const auto old = std::exchange(inputFormat_, std::move(inputFormat));
  if (!platform::equalFormatDescriptions(old, inputFormat_)) invalidate();
}

void VideoCodec::setSession(std::shared_ptr<VTSessionConvertible> session, std::function<void()> completed) {
  const auto old = std::exchange(session_, std::move(session));
  if (old) {
    // What the old session still holds was taken from the caller: it goes
    // out, on the session's thread, without anyone here waiting for it.
    old->completeFramesThenInvalidate(std::move(completed));
  } else if (completed) {
    completed();
  }
  if (!session_) invalidate();
}

platform::Async<void> VideoCodec::encode(platform::CMSampleBuffer sampleBuffer) {
  // Held across the wait: the session may be replaced meanwhile.
  if (const auto session = session_; session && isRunning_) {
    if (needsNewSession() || !platform::equalFormatDescriptions(inputFormat_, sampleBuffer.formatDescription())) {
      // The frame makes a new session: the old one's frames go out first.
      auto retired = retireSession();
      co_await std::move(retired);
    } else {
      auto room = session->room();
      co_await std::move(room);
    }
  }
  append(sampleBuffer);
}

platform::Async<void> VideoCodec::retireSession() {
  auto retired = platform::withContinuation<void>([this](platform::Continuation<void> done) {
    setSession(nullptr, [done] { done.resume(); });
  });
  co_await std::move(retired);
}

void VideoCodec::append(const platform::CMSampleBuffer& sampleBuffer) {
  if (!isRunning_) return;
  setInputFormat(sampleBuffer.formatDescription());
  const bool decoding = isCompressedInput(inputFormat_);
  // Cleared before the session is made, so an invalidation posted meanwhile
  // from another thread holds for the next frame.
  if (invalidateSession_.exchange(false, std::memory_order_acq_rel)) {
    std::shared_ptr<VTSessionConvertible> session;
    try {
      session = sessionMaker_(settings_, inputFormat_, decoding);
    } catch (const std::exception& error) {
      invalidate();
      TP_WARN(logger(), error);
      return;
    }
    if (!session) {
      invalidate();
      return;
    }
    setSession(std::move(session));
    if (!decoding) frameInterval_ = settings_.frameInterval;
  }
  if (!session_ || !continuation_ || outputEnded_) return;
  if (!decoding && !isDue(sampleBuffer.presentationTimeStamp())) return;
  // Taken only by a frame the session gets: a frame dropped here forces nothing.
  if (!decoding && keyFrameRequested_.exchange(false, std::memory_order_acq_rel)) session_->requestKeyFrame();
  try {
    session_->convert(sampleBuffer, *continuation_);
  } catch (const std::exception& error) {
    TP_WARN(logger(), error);
    return;
  }
  if (!decoding) presentationTimeStamp_ = sampleBuffer.presentationTimeStamp();
}

bool VideoCodec::isDue(const platform::CMTime& presentationTimeStamp) const {
  // A frame without a time would pass the ordering checks and then hold back
  // every later frame.
  if (!presentationTimeStamp.isValid()) return false;
  if (presentationTimeStamp < startedAt_ || presentationTimeStamp <= presentationTimeStamp_) return false;
  return frameInterval_ <= 0 || frameInterval_ <= presentationTimeStamp.seconds() - presentationTimeStamp_.seconds();
}

void VideoCodec::startRunning() {
  if (isRunning_) return;
  addObservers();
  startedAt_ = passthrough_ ? platform::CMTime::zero : platform::CMClock::hostTimeClock()->time();
  isRunning_ = true;
}

void VideoCodec::stopRunning() {
  if (!isRunning_) return;
  isRunning_ = false;
  // Stays installed, finished once the session's last frames are out: nothing
  // more reaches the owner until it installs a new one.
  std::function<void()> endOutput;
  if (continuation_) endOutput = [output = *continuation_] { output.finish(); };
  outputEnded_ = true;
  setSession(nullptr, std::move(endOutput));
  inputFormat_.reset();
  presentationTimeStamp_ = platform::CMTime::zero;
  startedAt_ = platform::CMTime::zero;
  removeObservers();
}

void VideoCodec::applicationWillEnterForeground(const platform::Notification&) { invalidate(); }

void VideoCodec::didAudioSessionInterruption(const platform::Notification& notification) {
  const auto* type = notification.userInfoValue(platform::AVAudioSessionInterruptionTypeKey);
  if (type &&
      platform::unsignedValue(*type) == static_cast<std::uint64_t>(platform::AVAudioSessionInterruptionType::ended)) {
    invalidate();
  }
}

void VideoCodec::addObservers() {
  auto& center = platform::NotificationCenter::defaultCenter();
  // Weak: a post under way on another thread may outlive the codec.
  const std::weak_ptr<VideoCodec> weak = weak_from_this();
  center.addObserver(
      this,
      [weak](const platform::Notification& notification) {
        if (const auto codec = weak.lock()) codec->didAudioSessionInterruption(notification);
      },
      std::string(platform::AVAudioSessionInterruptionNotification));
  center.addObserver(
      this,
      [weak](const platform::Notification& notification) {
        if (const auto codec = weak.lock()) codec->applicationWillEnterForeground(notification);
      },
      std::string(platform::UIApplicationWillEnterForegroundNotification));
}

void VideoCodec::removeObservers() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

}  // namespace fluvio
