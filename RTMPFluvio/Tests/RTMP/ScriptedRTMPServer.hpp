#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio::testing {

// A loopback RTMP server that the test drives step by step from its own
// thread: accept, handshake, read what the client sends, answer. Every wait
// has a deadline; a missed one fails the test with an exception.
class ScriptedRTMPServer {
 public:
  using Bytes = std::vector<std::uint8_t>;

  ScriptedRTMPServer();
  ~ScriptedRTMPServer();

  std::uint16_t port() const;
  std::string url(const std::string& path = "/live") const;

  // Clients accepted from now on get a receive buffer of about `bytes`, so
  // what the client's system takes follows closely what the server reads.
  void limitReceiveBuffer(int bytes);
  // Clients accepted from now on get a send buffer of about `bytes`, so the
  // server's writes stop soon after the client stops reading.
  void limitSendBuffer(int bytes);
  // Accepts the next client; with `handshake`, also answers its handshake.
  void accept(bool handshake = true);
  // The next message, applying the client's chunk size on the way.
  RTMPReceivedMessage nextMessage();
  // The next command, skipping control messages.
  RTMPCommandMessage nextCommand();
  void send(const RTMPMessage& message, std::uint32_t chunkStreamId = 3);
  void sendBytes(const Bytes& bytes);
  // Queues `message` behind what is still unsent and writes for at most
  // `wait`; true once everything queued is out, false while some of it
  // waits for the client to read.
  bool sendWithin(const RTMPMessage& message, std::chrono::milliseconds wait, std::uint32_t chunkStreamId = 3);
  // Writes what is still unsent for at most `wait`; true once it is all out.
  bool flushWithin(std::chrono::milliseconds wait);
  // Every message the client sends within `wait`.
  std::vector<RTMPReceivedMessage> messagesWithin(std::chrono::milliseconds wait);
  // Every message read whole within `duration` while reading at most
  // `bytesPerSecond`, paced by the server's own 10 ms ticks; `tick` runs
  // after each. Ends early when the client goes.
  std::vector<RTMPReceivedMessage> messagesReadSlowly(double bytesPerSecond, std::chrono::milliseconds duration,
                                                      const std::function<void()>& tick);
  // "_result" (or `name`) for `command` with the given arguments.
  void reply(const RTMPCommandMessage& command, AMFList arguments, const std::string& name = "_result");
  // The connect reply with a status of the given code, level and description.
  void replyToConnect(const RTMPCommandMessage& connect, const std::string& code, const std::string& description = {});
  // Answers publishers as a live server would (connect, createStream with
  // ids 1, 2, ..., publish, "_result" to any other call) and hands every
  // other message to `received`, until the client goes or stays silent past
  // the deadline.
  void servePublisher(const std::function<void(const RTMPReceivedMessage&)>& received);
  // Answers a publisher until it publishes (connect, createStream with id 1,
  // publish) and returns; what else it sends before is dropped.
  void answerUntilPublishing();
  // Reads until `count` more video frames (not sequence headers) have
  // arrived whole; up to 64 KiB of what follows may be read with them.
  void readVideoFrames(int count);
  // Answers a player the same way (connect, createStream with id 1, play),
  // then sends it `media` as they are, timestamps absolute, each on the
  // chunk stream of its kind, until the client goes or stays silent.
  void servePlayer(const std::vector<RTMPReceivedMessage>& media);
  // True when the client closed its side within the deadline.
  bool clientClosed();
  void closeClient();
  // Ends the client's link with a reset instead of an orderly close.
  void resetClient();

 private:
  void readSome();
  // Moves every message the reader holds whole into `messages`.
  void takeMessages(std::vector<RTMPReceivedMessage>& messages);
  // Answers connect, createStream (ids from 1 on) and other calls until the
  // client goes or stays silent; hands every other message to `other`.
  void serveStream(const std::function<void(const RTMPReceivedMessage&)>& other);
  // An "onStatus" of level status with `code` on the stream.
  void sendStatus(const std::string& code, std::uint32_t streamId = 1);

  asio::io_context context_;
  asio::ip::tcp::acceptor acceptor_;
  std::optional<asio::ip::tcp::socket> client_;
  RTMPChunkReader reader_;
  RTMPChunkWriter writer_;
  // Queued by sendWithin and not yet taken by the client's system.
  Bytes unsent_;
};

}  // namespace rtmpfluvio::testing
