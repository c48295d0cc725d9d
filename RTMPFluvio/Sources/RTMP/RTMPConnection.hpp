#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Fluvio/Sources/Network/NetworkConnection.hpp"
#include "Fluvio/Sources/Network/NetworkMonitor.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/PendingReplies.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Platform/Network/NWError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAuthenticator.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionCode.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionConfiguration.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPHandshake.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerLogLimit.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPublished.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceiveBacklog.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamTransport.hpp"

namespace rtmpfluvio {

// The client side of one RTMP connection: socket, handshake, connect command,
// chunk stream in both directions, command transactions, control messages,
// acknowledgements, authentication retries and the streams on it. Every
// message leaves in the order it was handed over. The socket shares the
// connection's strand: a message goes from the chunk writer to the socket's
// queue without another hop.
class RTMPConnection : public fluvio::NetworkConnection,
                       public RTMPStreamTransport,
                       public std::enable_shared_from_this<RTMPConnection> {
 public:
  using Code = RTMPConnectionCode;
  using Bytes = std::vector<std::uint8_t>;

  class Error : public std::exception {
   public:
    enum class Case {
      unsupportedCommand,
      socketErrorOccurred,
      requestFailed,
      invalidState,
      connectionTimedOut,
      requestTimedOut,
      // The server broke the chunk protocol; the connection was closed.
      protocolError,
    };
    // `cause` says what happened, in words for the user; what() ends with it.
    explicit Error(Case errorCase, std::string cause = {});
    static Error unsupportedCommand(std::string command);
    // The socket's error names the network's reason itself; this keeps its words.
    static Error socketErrorOccurred(const RTMPSocket::Error& error);
    // The link went for a reason told in words (a server's status), with no socket error.
    static Error socketErrorOccurred(std::string cause);
    static Error requestFailed(RTMPResponse response, std::string cause = {});
    // Its cause is "protocol error: " and what the server broke.
    static Error protocolError(const std::string& what);

    Case errorCase() const noexcept { return case_; }
    // The refused command, for unsupportedCommand.
    const std::string& command() const noexcept { return command_; }
    const std::optional<platform::NWError>& networkError() const noexcept { return networkError_; }
    // The server's reply, for requestFailed.
    const std::optional<RTMPResponse>& response() const noexcept { return response_; }
    // Empty when the case says it all.
    const std::string& cause() const noexcept { return cause_; }
    const char* what() const noexcept override { return text_.c_str(); }

   private:
    Case case_;
    std::string cause_;
    std::string command_;
    std::optional<platform::NWError> networkError_;
    std::optional<RTMPResponse> response_;
    std::string text_;
  };

  enum class ReadyState { uninitialized = 0, versionSent = 1, ackSent = 2, handshakeDone = 3 };

  using Configuration = RTMPConnectionConfiguration;

  static const std::set<std::string>& supportedProtocols();
  static constexpr std::int64_t defaultPort = 1935;
  static constexpr std::int64_t defaultSecurePort = 443;
  static constexpr std::string_view defaultFlashVer = Configuration::defaultFlashVer;
  static constexpr std::uint32_t defaultChunkSizeS = Configuration::defaultChunkSizeS;
  static constexpr std::int64_t defaultCapabilities = 239;
  static constexpr RTMPObjectEncoding defaultObjectEncoding = RTMPObjectEncoding::amf0;
  static constexpr std::chrono::seconds defaultTimeout = Configuration::defaultTimeout;
  static constexpr std::chrono::milliseconds defaultRequestTimeout = Configuration::defaultRequestTimeout;
  static constexpr std::int64_t defaultWindowSizeS = 250000;
  static const std::vector<std::string>& supportedFourCcList();
  static const AMFObject& supportedAudioFourCcInfoMap();
  static const AMFObject& supportedVideoFourCcInfoMap();

  // Throws std::invalid_argument for a configuration that does not validate.
  RTMPConnection(Key key, Configuration configuration, platform::Executor executor);
  static std::shared_ptr<RTMPConnection> make(Configuration configuration = {},
                                              platform::Executor executor = platform::networkExecutor());

  // Connects to an rtmp or rtmps URL and returns the server's reply to the
  // connect command, then has every registered stream create itself. Throws
  // Error: invalidState while connected or connecting, unsupportedCommand for
  // a URL without host or with another scheme, connectionTimedOut when the
  // reply does not come within the time-out, socketErrorOccurred,
  // requestFailed with the server's rejection (after the authentication
  // retries the rejection allows).
  platform::Async<RTMPResponse> connect(std::string command, AMFList arguments = {});
  // Closes the streams, then the socket; a pending connect or command fails
  // with requestFailed carrying the close status. Throws invalidState when
  // neither connected nor connecting.
  platform::Async<void> close() override;
  platform::Async<bool> connected() override;
  // The connected flag as it is set: its present value first, then every
  // assignment. Each call makes a sequence of its own.
  platform::Async<platform::AsyncStream<bool>> connectedPublisher();
  // Sends a command on the connection and returns the reply. Throws Error
  // invalidState when not connected, requestTimedOut, requestFailed.
  platform::Async<RTMPResponse> call(std::string commandName, AMFList arguments = {}) override;
  // A new sequence of statuses; only the newest one is fed.
  platform::Async<platform::AsyncStream<RTMPStatus>> status();
  // Keeps the stream and hands it what arrives for its id.
  platform::Async<bool> addStream(std::shared_ptr<RTMPConnectionListener> stream) override;
  platform::Async<std::optional<platform::URL>> uri();
  RTMPObjectEncoding objectEncoding() const noexcept { return defaultObjectEncoding; }
  const Configuration& configuration() const noexcept { return configuration_; }
  platform::Async<void> waitForRequestTimeout() override;

  // Queued on the connection's strand behind everything handed over before,
  // without a task per message; `delivered` hears how far it got.
  void output(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
              DeliveryNotice delivered = {}) override;

  // Cuts `message` into chunks on `chunkStreamId`, the first with `type` (or a
  // fuller header where needed), and queues them on the socket behind every
  // message handed over before. Returns the payload size; without a socket
  // the message is dropped. A payload of 2^24 bytes or more is refused with
  // an error line, and 0 is returned.
  template <class Message>
  platform::Async<std::size_t> doOutput(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, Message message) {
    return isolated([this, type, chunkStreamId, message = std::move(message)]() mutable {
      return doOutputBody(type, chunkStreamId, std::move(message));
    });
  }

 private:
  template <class Message>
  platform::Async<std::size_t> doOutputBody(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, Message message) {
    co_return write(type, chunkStreamId, message);
  }
  std::size_t write(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, const RTMPMessage& message,
                    DeliveryNotice delivered = {});

  platform::Async<RTMPResponse> connectBody(std::string command, AMFList arguments);
  platform::Async<RTMPResponse> connectOnce(const std::string& command);
  platform::Async<void> run(std::uint64_t generation, std::shared_ptr<RTMPSocket> socket, std::string host,
                            std::int64_t port);
  // Awaits the stream's part of a close, for at most the request time-out.
  platform::Async<void> closeStream(std::shared_ptr<RTMPConnectionListener> stream);
  platform::Async<void> watchNetwork(std::uint64_t generation, std::shared_ptr<fluvio::NetworkMonitor> monitor);
  // `cause` says why, when the server asked for the close.
  platform::Async<void> closeBody(std::string cause = {});
  platform::Async<RTMPResponse> callBody(std::string commandName, AMFList arguments);

  void setReadyState(ReadyState readyState);
  void listen(const Bytes& bytes);
  void readChunks(std::span<const std::uint8_t> bytes);
  void dispatch(const RTMPReceivedMessage& message, RTMPChunkType type);
  void dispatch(const RTMPCommandMessage& command);
  void dispatch(const RTMPSharedObjectMessage& message);
  void dispatch(const fluvio::NetworkMonitorEvent& event);
  RTMPCommandMessage makeConnectMessage() const;
  void yieldStatus(const RTMPStatus& status);
  // Ends the current socket: its receive loop and monitor stop feeding us.
  void dropSocket();
  // A connect attempt failed with its link up: the socket goes and the
  // connection is as before the attempt; the caller reports the failure.
  void abandonAttempt();
  // The link is gone or closed: every waiter fails (with `failure` when the
  // server broke the protocol), the status goes out; `cause` says why the
  // link went when it went on its own.
  void closeLink(const std::optional<Error>& failure = std::nullopt, const std::string& cause = {});
  // Spawns a task on the connection's strand that keeps the connection alive.
  template <class Body>
  void spawnOnStrand(Body body, std::string name);

  const Configuration configuration_;
  std::optional<platform::URL> uri_;
  AMFList arguments_;
  // Every assignment is published, also one that keeps the value.
  RTMPPublished<bool> connected_{false};
  bool connecting_ = false;
  ReadyState readyState_ = ReadyState::uninitialized;
  std::shared_ptr<RTMPSocket> socket_;
  std::shared_ptr<fluvio::NetworkMonitor> networkMonitor_;
  std::uint64_t generation_ = 0;
  RTMPHandshake handshake_;
  RTMPChunkReader reader_;
  RTMPChunkWriter writer_;
  // Bounds what the server can make this connection log.
  RTMPPeerLogLimit peerLogLimit_;
  RTMPAuthenticator authenticator_;
  std::vector<std::shared_ptr<RTMPConnectionListener>> streams_;
  // What the streams still keep of the messages handed to them; the socket
  // reads only while it is below its bound.
  RTMPReceiveBacklog receiveBacklog_;
  // Command answers awaited by transaction id.
  platform::PendingReplies<std::int64_t, RTMPResponse> operations_;
  // The link's receive loop and network watch; a close ends them before it returns.
  platform::TaskGroup linkTasks_{strand()};
  std::int64_t currentTransactionId_ = 1;
  std::int64_t sequence_ = 0;
  std::uint32_t bandWidth_ = 0;
  std::int64_t windowSizeC_ = defaultWindowSizeS;
  std::int64_t windowSizeS_ = defaultWindowSizeS;
  std::optional<platform::AsyncStream<RTMPStatus>::Continuation> statusContinuation_;
};

std::ostream& operator<<(std::ostream& stream, RTMPConnection::ReadyState readyState);

}  // namespace rtmpfluvio
