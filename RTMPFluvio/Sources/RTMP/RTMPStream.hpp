#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Fluvio/Sources/Stream/IncomingStream.hpp"
#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "Fluvio/Sources/Stream/Stream_.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "RTMPFluvio/Sources/AMF/AMFArray.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionListener.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMediaPackager.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMediaSendQueue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPublished.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamCode.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamCommandSlot.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamInfo.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamTransport.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"

namespace rtmpfluvio {

// One RTMP net stream over a connection: publishes encoded (or raw, through
// its own encoders) audio and video, or plays a remote stream back through
// its decoders. Commands wait for their "onStatus" answer one at a time.
class RTMPStream final : public fluvio::Stream_,
                         public RTMPConnectionListener,
                         public std::enable_shared_from_this<RTMPStream> {
 public:
  using Code = RTMPStreamCode;

  enum class HowToPublish { record, append, appendWithGap, live };

  class Error : public std::exception {
   public:
    enum class Case {
      // The server answered with a status whose level is not "status".
      requestFailed,
      // Not allowed in the current ready state, or superseded by another command.
      invalidState,
      requestTimedOut,
      // The settings name a codec the stream cannot carry.
      unsupportedCodec,
    };

    // The text names the case, then the server's code and description of a
    // refusal when the response carries them.
    explicit Error(Case errorCase, std::optional<RTMPResponse> response = std::nullopt);
    Case errorCase() const noexcept { return case_; }
    // The answer of a failed request.
    const std::optional<RTMPResponse>& response() const noexcept { return response_; }
    const char* what() const noexcept override { return text_.c_str(); }

   private:
    Case case_;
    std::optional<RTMPResponse> response_;
    std::string text_;
  };

  // Registers with the connection (an RTMPConnection) at once; the stream
  // sets itself up on the server now when the connection is up, else when it
  // connects. The stream holds its connection weakly.
  RTMPStream(Key key, std::optional<std::string> fcPublishName);
  static std::shared_ptr<RTMPStream> make(const std::shared_ptr<RTMPStreamTransport>& connection,
                                          std::optional<std::string> fcPublishName = std::nullopt);
  ~RTMPStream() override;

  const std::optional<std::string>& fcPublishName() const noexcept { return fcPublishName_; }

  platform::Async<std::uint32_t> id();
  platform::Async<RTMPStreamInfo> info();
  // What the publishing path's bounded queues have dropped.
  platform::Async<fluvio::OutgoingStream::Drops> outgoingDrops();
  platform::Async<AMFArray> metadata();
  platform::Async<std::uint16_t> currentFPS();
  // Each call gives a sequence of its own: the present frame rate (or ready
  // state) first, then every change. A reader that falls behind sees the
  // newest values.
  platform::Async<platform::AsyncStream<std::uint16_t>> currentFPSPublisher();
  platform::Async<platform::AsyncStream<fluvio::StreamReadyState>> readyStatePublisher();
  platform::Async<bool> isPaused();

  // A new sequence of the statuses received from now on; the one handed out
  // before is finished.
  platform::Async<platform::AsyncStream<RTMPStatus>> status();

  // Sets up the server-side stream: "releaseStream" and "FCPublish" when a
  // publish name is set, then "createStream" once per connection, whose
  // answer gives the stream its id.
  platform::Async<void> createStream() override;

  // Settings with a codec RTMP cannot carry throw unsupportedCodec.
  platform::Async<void> setAudioSettings(fluvio::AudioCodecSettings settings) override;
  platform::Async<void> setVideoSettings(fluvio::VideoCodecSettings settings) override;

  // Publishes `name` once the server answers "NetStream.Publish.Start", then
  // announces the metadata and starts the encoders. Without a name it closes
  // a publication. Only from idle.
  platform::Async<RTMPResponse> publish(std::optional<std::string> name, HowToPublish type = HowToPublish::live);
  // Plays the stream named by the first argument; without a name it closes a
  // playback. Only from idle.
  platform::Async<RTMPResponse> play(AMFList arguments);
  // The next three return once sent; only while playing.
  platform::Async<void> seek(double offset);
  platform::Async<void> receiveAudio(bool flag);
  platform::Async<void> receiveVideo(bool flag);
  // Waits for "NetStream.Pause.Notify" or "NetStream.Unpause.Notify".
  platform::Async<RTMPResponse> pause(bool paused);
  platform::Async<RTMPResponse> togglePause();
  // Ends a playback or publication with "closeStream"; idle at once.
  platform::Async<RTMPResponse> close();
  // A data message on the data chunk stream; only while publishing.
  platform::Async<void> send(std::string handlerName, AMFList arguments, bool isResetTimestamp = false);

  // The connection closes: a publication with a publish name is unpublished
  // and deleted, and the answers to both are awaited; another playback or
  // publication is closed without waiting for the answer; encoders and decoders stop, a waiting command fails, the
  // stream is idle and asks for a new id on the next connect.
  platform::Async<void> connectionWillClose() override;

  // RTMPConnectionListener: what the connection hands over is applied on the
  // stream's strand in the order it came.
  std::uint32_t messageStreamId() const noexcept override { return id_.load(std::memory_order_acquire); }
  void didReceive(const RTMPReceivedMessage& message, RTMPChunkType type, RTMPReceiveBacklog::Hold hold) override;
  void didReceive(const RTMPUserControlMessage& message) override;
  void didReceive(const fluvio::NetworkMonitorEvent& event) override;

  // One message the connection received on this stream's id, with its
  // absolute timestamp resolved, and the type of its first chunk.
  platform::Async<void> dispatch(RTMPReceivedMessage message, RTMPChunkType type);
  // A user-control event whose value is this stream's id.
  platform::Async<void> dispatch(RTMPUserControlMessage::Event event);
  platform::Async<void> dispatch(fluvio::NetworkMonitorEvent event) override;

  // StreamConvertible.
  platform::Async<fluvio::StreamReadyState> readyState() override;
  // Encoded video is sent; raw video goes to the encoder and the outputs.
  // Other media types are ignored.
  platform::Async<void> append(platform::CMSampleBuffer sampleBuffer) override;
  // Compressed audio is sent; raw audio goes to the encoder and the outputs.
  platform::Async<void> append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when) override;

  // MediaMixerOutput.
  platform::Async<std::optional<std::uint8_t>> videoTrackId() override;
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override;
  void mixer(fluvio::MediaMixer& mediaMixer, const platform::CMSampleBuffer& sampleBuffer) override;
  void mixer(fluvio::MediaMixer& mediaMixer, const std::shared_ptr<platform::AVAudioPCMBuffer>& audioBuffer,
             const std::shared_ptr<platform::AVAudioTime>& when) override;
  platform::Async<void> selectTrack(std::optional<std::uint8_t> trackId, platform::CMMediaType mediaType) override;

  // Stream_.
  std::shared_ptr<fluvio::IncomingStream> incoming() const override;
  fluvio::OutgoingStream& outgoing() override { return *outgoing_; }
  std::vector<std::shared_ptr<fluvio::StreamOutput>>& outputs() override { return outputs_; }
  std::shared_ptr<fluvio::StreamBitRateStrategy>& bitRateStrategy() override { return bitRateStrategy_; }

 private:
  using DeliveryNotice = RTMPStreamTransport::DeliveryNotice;

  void start(const std::shared_ptr<RTMPStreamTransport>& connection);
  void setId(std::uint32_t id);

  // What the connection hands over, on the stream's strand; media keeps
  // `hold` until the decoder has taken it.
  void handle(const RTMPReceivedMessage& message, RTMPChunkType type, RTMPReceiveBacklog::Hold hold = {});
  void handle(RTMPUserControlMessage::Event event);

  // Bodies, on the stream's strand.
  platform::Async<void> createStreamBody();
  platform::Async<std::optional<RTMPResponse>> callConnection(std::string commandName, AMFList arguments);
  // Sends a connection-level command whose answer nobody waits for; the
  // commands started so leave in the order they were started.
  void startCall(std::string commandName, AMFList arguments);
  // Sends a connection-level command and waits for its answer or failure,
  // which it leaves to the log.
  platform::Async<void> awaitAnswer(std::string commandName, AMFList arguments);
  platform::Async<RTMPResponse> publishBody(std::optional<std::string> name, HowToPublish type);
  platform::Async<RTMPResponse> playBody(AMFList arguments);
  platform::Async<void> sendWhilePlaying(std::string commandName, AMFList arguments);
  platform::Async<RTMPResponse> pauseBody(std::optional<bool> paused);
  platform::Async<RTMPResponse> closeBody();
  platform::Async<void> sendBody(std::string handlerName, AMFList arguments, bool isResetTimestamp);
  void sendData(std::string handlerName, AMFList arguments, bool isResetTimestamp);
  // Sends `package`, header first; while publishing, a header comes after
  // the metadata again when what the encoders were given has added to it.
  // The body's delivery is followed; false when nothing was handed over.
  bool output(RTMPMediaPackage package);
  // Hands queued media to the connection while none handed over waits to be
  // written, so a backlog stays in the queue, where its bound applies.
  void sendQueued();
  void delivered(std::uint64_t generation, bool isFrame, RTMPDelivery delivery);
  // Waits up to `limit` for the queued media to be written, then lets go of
  // what is left, which no later notice of this link will ask for.
  platform::Async<void> finishSendQueue(std::chrono::steady_clock::duration limit);
  platform::Async<void> dispatchNetworkBody(fluvio::NetworkMonitorEvent event);
  platform::Async<void> connectionWillCloseBody();
  platform::Async<void> appendVideoBody(platform::CMSampleBuffer sampleBuffer);
  platform::Async<void> appendAudioBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                        std::shared_ptr<platform::AVAudioTime> when);
  // Packages encoded media, appended or from the encoders, for the connection.
  void sendEncodedVideo(const platform::CMSampleBuffer& sampleBuffer);
  void sendEncodedAudio(const std::shared_ptr<platform::AVAudioCompressedBuffer>& audioBuffer,
                        const platform::AVAudioTime& when);

  // Waits for `expected` after sending `commandName`; `readyState_` as given.
  platform::Async<RTMPResponse> request(RTMPStreamCode expected, fluvio::StreamReadyState state,
                                        std::string commandName, AMFList arguments);
  void sendCommand(std::string commandName, AMFList arguments);
  // False without a connection: nothing is sent, nobody is told.
  bool output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
              DeliveryNotice delivered = {});
  bool output(std::optional<RTMPOutgoingMedia> media, DeliveryNotice delivered = {});
  void yieldStatus(const RTMPStatus& status);
  void startMediaTasks();
  // Frames waiting for the encoders and what the encoders still hold reach
  // the connection, then the media tasks end; what is not out within a
  // limit is dropped.
  platform::Async<void> finishOutgoing();
  void stopIncoming();

  // Received media.
  void didReceiveAudio(const RTMPAudioMessage& message, RTMPReceiveBacklog::Hold hold);
  void didReceiveVideo(const RTMPVideoMessage& message, RTMPReceiveBacklog::Hold hold);
  // Compressed media for `incoming_`, with the share of the backlog it keeps.
  struct ReceivedMedia {
    std::optional<platform::CMSampleBuffer> video;
    std::shared_ptr<platform::AVAudioBuffer> audio;
    std::shared_ptr<platform::AVAudioTime> when;
    RTMPReceiveBacklog::Hold hold;
  };
  // Queues `media` for the one task that hands received media to `incoming_`
  // in arrival order, each append awaited: a decoder that falls behind holds
  // the task, the queue keeps its holds, and the connection stops reading.
  void feedIncoming(ReceivedMedia media);
  platform::Async<void> feedIncomingInOrder();

  // Milliseconds since `since` on the steady clock, within 32 bits.
  static std::uint32_t elapsedMilliseconds(std::chrono::steady_clock::time_point since);

  AMFArray metadata_;
  RTMPStreamInfo info_;
  const RTMPObjectEncoding objectEncoding_ = RTMPObjectEncoding::amf0;
  bool audioSampleAccess_ = true;
  bool videoSampleAccess_ = true;
  // Published as they change.
  RTMPPublished<std::uint16_t> currentFPS_{0, platform::BufferingPolicy::bufferingNewest(1)};
  RTMPPublished<fluvio::StreamReadyState> readyState_{fluvio::StreamReadyState::idle,
                                                      platform::BufferingPolicy::bufferingNewest(8)};
  const std::optional<std::string> fcPublishName_;
  std::optional<std::uint8_t> videoTrackId_ = 255;
  std::optional<std::uint8_t> audioTrackId_ = 255;
  bool isPaused_ = false;
  std::chrono::steady_clock::time_point startedAt_ = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<fluvio::StreamOutput>> outputs_;
  HowToPublish howToPublish_ = HowToPublish::live;
  RTMPStreamCommandSlot command_;
  // When the last data message left; none sends the next one whole.
  std::optional<std::chrono::steady_clock::time_point> dataTimestamp_;
  RTMPMediaPackager packager_;
  RTMPMediaSendQueue sendQueue_;
  // Media bodies handed to the connection that it has not written yet.
  int unwritten_ = 0;
  // Tells notices of a link let go of from the current one's.
  std::uint64_t deliveryGeneration_ = 0;
  std::optional<platform::Continuation<void>> sendQueueDrained_;
  std::shared_ptr<fluvio::StreamBitRateStrategy> bitRateStrategy_;
  std::optional<platform::AsyncStream<RTMPStatus>::Continuation> statusContinuation_;
  // Read by the connection from its own strand.
  std::atomic<std::uint32_t> id_ = 0;
  // Whether createStream has run or runs for the current connection.
  bool isCreating_ = false;
  mutable std::shared_ptr<fluvio::IncomingStream> incoming_;
  std::deque<ReceivedMedia> receivedMedia_;
  // The task that empties `receivedMedia_` runs.
  bool feedingIncoming_ = false;
  const std::shared_ptr<fluvio::OutgoingStream> outgoing_ = fluvio::OutgoingStream::make();
  // Weak: the connection keeps its streams.
  std::weak_ptr<RTMPStreamTransport> connection_;
  // Of received media.
  std::shared_ptr<platform::AVAudioFormat> audioFormat_;
  std::shared_ptr<const platform::CMFormatDescription> videoFormat_;
  // Raw frames into the video encoder; encoded media out to the connection.
  platform::TaskGroup encodingTasks_{strand()};
  platform::TaskGroup sendingTasks_{strand()};
};

std::string_view rawValue(RTMPStream::HowToPublish type) noexcept;
// None for any string that names no type.
std::optional<RTMPStream::HowToPublish> howToPublishFromRawValue(std::string_view rawValue) noexcept;

}  // namespace rtmpfluvio
