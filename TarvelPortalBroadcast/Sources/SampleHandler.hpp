#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "TarvelPortalBroadcast/Sources/AppAudio.hpp"
#include "TarvelPortalBroadcast/Sources/EarlySound.hpp"
#include "TarvelPortalBroadcast/Sources/SampleQueue.hpp"

namespace tarvelportalbroadcast {

// The extension's principal class: turns one broadcast into one live RTMP
// publication of the screen and the app audio, to the URL and under the key
// that the app stored. Screen frames and app audio reach the stream in the
// order they came, through one bounded queue per kind: video keeps the
// newest few frames when the encoder falls behind, audio drops only beyond a
// few seconds of backlog; every drop is counted, the stream's own included.
// The bytes it reports sent are those the stream handed to the connection,
// the frames those the server acknowledged.
class SampleHandler final : public platform::RPBroadcastSampleHandler,
                            public std::enable_shared_from_this<SampleHandler> {
 public:
  static constexpr std::size_t videoQueueLimit = 3;
  // About three seconds of 1,024-frame buffers at 48 kHz.
  static constexpr std::size_t audioQueueLimit = 144;
  // Sound that may wait for the first picture: about a second.
  static constexpr std::size_t earlyAudioLimit = 48;

  static std::shared_ptr<SampleHandler> make();

  void broadcastStarted(const std::optional<platform::RPBroadcastSetupInfo>& setupInfo) override;
  void processSampleBuffer(const platform::CMSampleBuffer& sampleBuffer,
                           platform::RPSampleBufferType sampleBufferType) override;
  void broadcastPaused() override {}
  void broadcastResumed() override {}
  void broadcastFinished() override;
  platform::RPBroadcastStatistics broadcastStatistics() const override;

 private:
  SampleHandler();

  // Made once, whichever thread asks first.
  const std::shared_ptr<rtmpfluvio::RTMPStream>& stream();
  // Starts `work` on the strand, the handler held from this call until the
  // work ends: the service takes a handler nobody else holds for one whose
  // work is done, and work spawned but not yet begun holds it too.
  template <class... Args>
  void spawnHeld(std::string name, platform::Async<void> (SampleHandler::*work)(Args...),
                 std::type_identity_t<Args>... args) {
    platform::spawn(
        strand_,
        [self = shared_from_this(), work, ... args = std::move(args)]() mutable {
          return ((*self).*work)(std::move(args)...);
        },
        std::move(name));
  }
  platform::Async<void> start(BroadcastConfig config);
  // Claims the end of the broadcast; false when it had ended already.
  bool claimEnd();
  bool hasEnded() const;
  // Publishing begins unless the broadcast ended meanwhile.
  bool beginPublishing();
  void stopForwarding();
  void pushAppAudio(const platform::CMSampleBuffer& sampleBuffer);
  // Sound before the first picture waits for it, bounded; what does not fit is dropped.
  void holdEarlyAudio(const platform::CMSampleBuffer& sampleBuffer);
  platform::Async<void> closeAll();
  // Takes the stream's counts of what it sent, of what the server received
  // and of what its queues dropped.
  platform::Async<void> countSent();
  platform::Async<void> forwardVideo();
  platform::Async<void> forwardAudio();
  // Ends the broadcast with an error when the connection goes away under it.
  platform::Async<void> watchConnection(platform::AsyncStream<rtmpfluvio::RTMPStatus> statuses);

  const std::shared_ptr<rtmpfluvio::RTMPConnection> connection_;
  std::once_flag streamOnce_;
  std::shared_ptr<rtmpfluvio::RTMPStream> stream_;
  // Starting, forwarding and closing take turns here.
  const platform::Executor strand_;
  mutable std::mutex endMutex_;
  bool hasEnded_ = false;
  std::atomic<bool> isPublishing_ = false;
  // The host time of the publication's first picture; sound before it is
  // left out. A picture may come after sound captured later, so the sound
  // that comes first waits for it. Touched only by the service's sample
  // calls, one at a time.
  std::optional<std::uint64_t> firstPictureTime_;
  EarlySound<platform::CMSampleBuffer> earlyAudio_{earlyAudioLimit};
  AppAudioMaker appAudio_;
  SampleQueue<platform::CMSampleBuffer> video_{videoQueueLimit};
  SampleQueue<AppAudio> audio_{audioQueueLimit};
  // Each forwarder says here when it has handed over its last buffer; the
  // close waits for as many as were started, so nothing queued is lost.
  using Drained = platform::AsyncStream<bool>;
  std::pair<Drained, Drained::Continuation> drained_ = Drained::makeStream();
  int forwarders_ = 0;
  // Screen and app-audio buffers left out before the queues: outside the
  // publication, or sound that found no picture to wait for.
  std::atomic<std::uint64_t> buffersDropped_ = 0;
  std::atomic<std::uint64_t> bytesSent_ = 0;
  std::atomic<std::uint64_t> videoFramesSent_ = 0;
  std::atomic<std::uint64_t> videoFramesDroppedByStream_ = 0;
  std::atomic<std::uint64_t> audioPacketsDroppedByStream_ = 0;
  std::atomic<std::uint64_t> videoFramesNotDelivered_ = 0;
};

}  // namespace tarvelportalbroadcast
