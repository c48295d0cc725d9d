#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/VTSessionConvertible.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/Foundation/Notification.hpp"

namespace fluvio {

// Encodes uncompressed video sample buffers (or decodes compressed ones) into
// the installed continuation. The session matching the input is made lazily
// on the first frame after anything invalidated it; encoding drops frames
// that come before the start, not after the last submitted one, or closer to
// it than the frame interval.
//
// No lock of its own: append, the settings setter, startRunning and
// stopRunning are called one at a time by the owner. Only the invalidation
// flag and the key-frame request are touched from other threads.
class VideoCodec : public Runner, public std::enable_shared_from_this<VideoCodec> {
 public:
  using Continuation = platform::AsyncStream<platform::CMSampleBuffer>::Continuation;
  using SessionMaker = std::function<std::shared_ptr<VTSessionConvertible>(
      const VideoCodecSettings& settings, const std::shared_ptr<const platform::CMFormatDescription>& inputFormat,
      bool decoding)>;

  // Sessions come from `sessionMaker`: the platform's by default. Held by a
  // shared pointer, as the notification handlers reach the codec weakly.
  static std::shared_ptr<VideoCodec> make(SessionMaker sessionMaker = makeSession);
  explicit VideoCodec(SessionMaker sessionMaker);
  ~VideoCodec() override;

  VideoCodec(const VideoCodec&) = delete;
  VideoCodec& operator=(const VideoCodec&) = delete;

  const VideoCodecSettings& settings() const noexcept { return settings_; }
  // Rebuilds the session on the next frame when the change needs it, else
  // carries the change into the running session.
  void setSettings(VideoCodecSettings settings);

  bool passthrough() const noexcept { return passthrough_; }
  // False makes startRunning drop frames presented before the host clock's time.
  void setPassthrough(bool passthrough) noexcept { passthrough_ = passthrough; }

  // Working minimum spacing of encoded frames, in seconds.
  double frameInterval() const noexcept { return frameInterval_; }
  void setFrameInterval(double frameInterval) noexcept { frameInterval_ = frameInterval; }

  const std::optional<Continuation>& continuation() const noexcept { return continuation_; }
  void setContinuation(std::optional<Continuation> continuation) {
    continuation_ = std::move(continuation);
    outputEnded_ = false;
  }

  const std::shared_ptr<VTSessionConvertible>& session() const noexcept { return session_; }
  bool needsNewSession() const noexcept { return invalidateSession_.load(std::memory_order_acquire); }

  // Converts `sampleBuffer` or drops it; failures are logged, never thrown.
  // Never waits: a session that holds its fill of frames queues one more,
  // and a replaced session's last frames may come after the new one's first.
  void append(const platform::CMSampleBuffer& sampleBuffer);
  // The same, first suspending the caller while the session holds its fill
  // of frames, so a producer faster than the encoder is held back without
  // holding up its thread; a session being replaced emits its last frames
  // before the new one takes any.
  platform::Async<void> encode(platform::CMSampleBuffer sampleBuffer);

  // Makes the next frame encoded a key frame, say for a receiver that lost
  // frames; requests before that frame count once. Safe on any thread.
  void requestKeyFrame() noexcept { keyFrameRequested_.store(true, std::memory_order_release); }

  bool isRunning() const override { return isRunning_; }
  void startRunning() override;
  void stopRunning() override;

  // Notification handlers; safe on any thread.
  void applicationWillEnterForeground(const platform::Notification& notification);
  void didAudioSessionInterruption(const platform::Notification& notification);

 private:
  void setInputFormat(std::shared_ptr<const platform::CMFormatDescription> inputFormat);
  // The old session completes its frames, then `completed` runs.
  void setSession(std::shared_ptr<VTSessionConvertible> session, std::function<void()> completed = {});
  // Ends the session, resuming once its last frames are out.
  platform::Async<void> retireSession();
  void invalidate() noexcept { invalidateSession_.store(true, std::memory_order_release); }
  bool isDue(const platform::CMTime& presentationTimeStamp) const;
  void addObservers();
  void removeObservers();

  SessionMaker sessionMaker_;
  VideoCodecSettings settings_ = VideoCodecSettings::defaultSettings();
  bool passthrough_ = true;
  double frameInterval_ = 0.0;
  platform::CMTime startedAt_ = platform::CMTime::zero;
  std::optional<Continuation> continuation_;
  // Set by a stop: the installed continuation ends once the old session's
  // last frames are out, and takes nothing newer.
  bool outputEnded_ = false;
  std::atomic<bool> invalidateSession_ = true;
  std::atomic<bool> keyFrameRequested_ = false;
  platform::CMTime presentationTimeStamp_ = platform::CMTime::zero;
  bool isRunning_ = false;
  std::shared_ptr<const platform::CMFormatDescription> inputFormat_;
  std::shared_ptr<VTSessionConvertible> session_;
};

}  // namespace fluvio
