#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"

namespace tarvelportalbroadcast {

// The extension's principal class: turns one broadcast into one live RTMP
// publication to the URL and key the app stored. Screen frames and app audio
// reach the stream in the order they were delivered, through one bounded
// queue per kind: video keeps the newest few frames when the encoder falls
// behind, audio drops only beyond a few seconds of backlog; every drop is
// counted.
class SampleHandler final : public platform::RPBroadcastSampleHandler,
                            public std::enable_shared_from_this<SampleHandler> {
 public:
  static constexpr std::size_t videoQueueLimit = 3;
  // About three seconds of 1024-frame buffers at 48 kHz.
  static constexpr std::size_t audioQueueLimit = 144;

  static std::shared_ptr<SampleHandler> make();

  void broadcastStarted(const std::optional<platform::RPBroadcastSetupInfo>& setupInfo) override;
  void processSampleBuffer(const platform::CMSampleBuffer& sampleBuffer,
                           platform::RPSampleBufferType sampleBufferType) override;
  void broadcastPaused() override {}
  void broadcastResumed() override {}
  void broadcastFinished() override;
  platform::RPBroadcastStatistics broadcastStatistics() const override;

 private:
  struct AppAudio {
    std::shared_ptr<platform::AVAudioPCMBuffer> buffer;
    std::shared_ptr<platform::AVAudioTime> when;
  };
  // Keeps the newest `limit` elements; yield says when it dropped one.
  template <class T>
  struct Queue {
    using Ends = std::pair<platform::AsyncStream<T>, typename platform::AsyncStream<T>::Continuation>;
    explicit Queue(std::size_t limit)
        : Queue(platform::AsyncStream<T>::makeStream(platform::BufferingPolicy::bufferingNewest(limit))) {}
    explicit Queue(Ends ends) : stream(std::move(ends.first)), input(std::move(ends.second)) {}
    // False when the element pushed out an older one.
    bool push(T element) const {
      return input.yield(std::move(element)) != platform::AsyncStream<T>::YieldResult::dropped;
    }

    platform::AsyncStream<T> stream;
    typename platform::AsyncStream<T>::Continuation input;
  };

  SampleHandler();

  // Made once, on first use, whichever thread asks first.
  const std::shared_ptr<rtmpfluvio::RTMPStream>& stream();
  platform::Async<void> start(BroadcastConfig config);
  platform::Async<void> closeAll();
  platform::Async<void> forwardVideo();
  platform::Async<void> forwardAudio();
  // Ends the broadcast with an error when the connection goes away under it.
  platform::Async<void> watchConnection(platform::AsyncStream<rtmpfluvio::RTMPStatus> statuses);
  void stopForwarding();
  void noteBytesSent(const rtmpfluvio::RTMPStreamInfo& info);

  const std::shared_ptr<rtmpfluvio::RTMPConnection> connection_;
  std::once_flag streamOnce_;
  std::shared_ptr<rtmpfluvio::RTMPStream> stream_;
  // Starting and finishing run on one strand, so a finish always sees how
  // far the start got.
  const platform::Executor strand_;
  std::atomic<bool> isPublishing_ = false;
  std::atomic<bool> isFinished_ = false;
  Queue<platform::CMSampleBuffer> video_;
  Queue<AppAudio> audio_;
  std::atomic<std::uint64_t> droppedBuffers_ = 0;
  std::atomic<std::uint64_t> bytesSent_ = 0;
};

}  // namespace tarvelportalbroadcast
