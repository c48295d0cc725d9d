#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <algorithm>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>

#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"

namespace rtmpfluvio::testing {
namespace {

constexpr int kDeadlineSeconds = 10;

void setDeadline(asio::ip::tcp::socket& socket) {
  timeval deadline{kDeadlineSeconds, 0};
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
}

}  // namespace

ScriptedRTMPServer::ScriptedRTMPServer()
    : acceptor_(context_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {}

ScriptedRTMPServer::~ScriptedRTMPServer() = default;

void ScriptedRTMPServer::limitReceiveBuffer(int bytes) {
  acceptor_.set_option(asio::socket_base::receive_buffer_size(bytes));
}

void ScriptedRTMPServer::limitSendBuffer(int bytes) {
  acceptor_.set_option(asio::socket_base::send_buffer_size(bytes));
}

std::uint16_t ScriptedRTMPServer::port() const { return acceptor_.local_endpoint().port(); }

std::string ScriptedRTMPServer::url(const std::string& path) const {
  return "rtmp://127.0.0.1:" + std::to_string(port()) + path;
}

void ScriptedRTMPServer::accept(bool handshake) {
  timeval deadline{kDeadlineSeconds, 0};
  setsockopt(acceptor_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
  client_.emplace(acceptor_.accept());
  setDeadline(*client_);
  reader_.reset();
  writer_.reset();
  if (!handshake) return;
  Bytes c0c1(1537);
  asio::read(*client_, asio::buffer(c0c1));
  if (c0c1[0] != 3) throw std::runtime_error("C0 is not version 3");
  Bytes s0s1s2(1 + 1536 + 1536, 0x11);
  s0s1s2[0] = 3;
  std::copy(c0c1.begin() + 1, c0c1.end(), s0s1s2.begin() + 1537);  // S2 echoes C1
  asio::write(*client_, asio::buffer(s0s1s2));
  Bytes c2(1536);
  asio::read(*client_, asio::buffer(c2));
  if (!std::equal(c2.begin() + 8, c2.end(), s0s1s2.begin() + 9)) throw std::runtime_error("C2 does not echo S1");
}

void ScriptedRTMPServer::readSome() {
  std::uint8_t buffer[65536];
  const std::size_t count = client_->read_some(asio::buffer(buffer));
  reader_.put(std::span(buffer, count));
}

RTMPReceivedMessage ScriptedRTMPServer::nextMessage() {
  for (;;) {
    while (const auto chunk = reader_.next()) {
      auto message = decodeMessage(chunk->header);
      if (!message) continue;
      if (const auto* size = std::get_if<RTMPSetChunkSizeMessage>(&*message)) reader_.setChunkSize(size->size());
      return *message;
    }
    readSome();
  }
}

RTMPCommandMessage ScriptedRTMPServer::nextCommand() {
  for (;;) {
    auto message = nextMessage();
    if (auto* command = std::get_if<RTMPCommandMessage>(&message)) return *command;
  }
}

void ScriptedRTMPServer::send(const RTMPMessage& message, std::uint32_t chunkStreamId) {
  Bytes bytes;
  writer_.write(RTMPChunkType::zero, chunkStreamId, message, bytes);
  sendBytes(bytes);
}

void ScriptedRTMPServer::sendBytes(const Bytes& bytes) { asio::write(*client_, asio::buffer(bytes)); }

bool ScriptedRTMPServer::sendWithin(const RTMPMessage& message, std::chrono::milliseconds wait,
                                    std::uint32_t chunkStreamId) {
  writer_.write(RTMPChunkType::zero, chunkStreamId, message, unsent_);
  return flushWithin(wait);
}

namespace {

// Waits at most until `deadline` for `events` on `socket`; false when none came.
bool awaitReady(asio::ip::tcp::socket& socket, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  pollfd descriptor{socket.native_handle(), events, 0};
  return ::poll(&descriptor, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) > 0;
}

}  // namespace

bool ScriptedRTMPServer::flushWithin(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!unsent_.empty()) {
    const auto sent = ::send(client_->native_handle(), unsent_.data(), unsent_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
      unsent_.erase(unsent_.begin(), unsent_.begin() + sent);
      continue;
    }
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw std::runtime_error("the client went");
    if (!awaitReady(*client_, POLLOUT, deadline)) return false;
  }
  return true;
}

std::vector<RTMPReceivedMessage> ScriptedRTMPServer::messagesWithin(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::vector<RTMPReceivedMessage> messages;
  for (;;) {
    takeMessages(messages);
    if (!awaitReady(*client_, POLLIN, deadline)) return messages;
    readSome();
  }
}

std::vector<RTMPReceivedMessage> ScriptedRTMPServer::messagesReadSlowly(double bytesPerSecond,
                                                                        std::chrono::milliseconds duration,
                                                                        const std::function<void()>& tick) {
  constexpr auto kTick = std::chrono::milliseconds(10);
  const double perTick = bytesPerSecond * std::chrono::duration<double>(kTick).count();
  const auto start = std::chrono::steady_clock::now();
  std::vector<RTMPReceivedMessage> messages;
  std::uint8_t buffer[65536];
  double allowance = 0;
  for (auto next = start + kTick; next <= start + duration; next += kTick) {
    std::this_thread::sleep_until(next);
    // What a tick could not read (nothing had come) is not saved up for a burst.
    allowance = std::min(allowance + perTick, 2 * perTick);
    const auto wanted = std::min(sizeof buffer, static_cast<std::size_t>(allowance));
    const auto count = ::recv(client_->native_handle(), buffer, wanted, MSG_DONTWAIT);
    if (count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) break;
    if (count > 0) {
      allowance -= static_cast<double>(count);
      reader_.put(std::span(buffer, static_cast<std::size_t>(count)));
      takeMessages(messages);
    }
    tick();
  }
  return messages;
}

void ScriptedRTMPServer::takeMessages(std::vector<RTMPReceivedMessage>& messages) {
  while (const auto chunk = reader_.next()) {
    auto message = decodeMessage(chunk->header);
    if (!message) continue;
    if (const auto* size = std::get_if<RTMPSetChunkSizeMessage>(&*message)) reader_.setChunkSize(size->size());
    messages.push_back(std::move(*message));
  }
}

void ScriptedRTMPServer::reply(const RTMPCommandMessage& command, AMFList arguments, const std::string& name) {
  send(RTMPCommandMessage(command.streamId(), 0, RTMPObjectEncoding::amf0, name, command.transactionId(),
                          std::nullopt, std::move(arguments)));
}

void ScriptedRTMPServer::replyToConnect(const RTMPCommandMessage& connect, const std::string& code,
                                        const std::string& description) {
  const bool success = code == "NetConnection.Connect.Success";
  const AMFObject information{{"level", success ? "status" : "error"}, {"code", code}, {"description", description}};
  send(RTMPCommandMessage(0, 0, RTMPObjectEncoding::amf0, success ? "_result" : "_error", connect.transactionId(),
                          AMFObject{{"fmsVer", "FMS/3,0,1,123"}}, {AMFValue(information)}));
}

void ScriptedRTMPServer::serveStream(const std::function<void(const RTMPReceivedMessage&)>& other) {
  double streamId = 0;
  try {
    for (;;) {
      const auto message = nextMessage();
      const auto* command = std::get_if<RTMPCommandMessage>(&message);
      if (command && command->commandName() == "connect") {
        replyToConnect(*command, "NetConnection.Connect.Success");
      } else if (command && command->commandName() == "createStream") {
        reply(*command, {++streamId});
      } else if (command && command->transactionId() != 0) {
        reply(*command, {});
      } else {
        other(message);
      }
    }
  } catch (const std::system_error&) {
    // The client has gone.
  }
}

void ScriptedRTMPServer::sendStatus(const std::string& code, std::uint32_t streamId) {
  const AMFObject status{{"level", "status"}, {"code", code}, {"description", ""}};
  send(RTMPCommandMessage(streamId, 0, RTMPObjectEncoding::amf0, "onStatus", 0, std::nullopt, {AMFValue(status)}));
}

void ScriptedRTMPServer::servePublisher(const std::function<void(const RTMPReceivedMessage&)>& received) {
  serveStream([&](const RTMPReceivedMessage& message) {
    const auto* command = std::get_if<RTMPCommandMessage>(&message);
    if (!command) {
      received(message);
    } else if (command->commandName() == "publish") {
      sendStatus("NetStream.Publish.Start", command->streamId());
    }
  });
}

void ScriptedRTMPServer::answerUntilPublishing() {
  for (;;) {
    const auto command = nextCommand();
    if (command.commandName() == "connect") {
      replyToConnect(command, "NetConnection.Connect.Success");
    } else if (command.commandName() == "createStream") {
      reply(command, {1.0});
    } else if (command.commandName() == "publish") {
      return sendStatus("NetStream.Publish.Start");
    }
  }
}

void ScriptedRTMPServer::readVideoFrames(int count) {
  while (count > 0) {
    const auto message = nextMessage();
    const auto* video = std::get_if<RTMPVideoMessage>(&message);
    if (video && video->payload().size() > 1 && video->payload()[1] == 0x01) --count;
  }
}

void ScriptedRTMPServer::servePlayer(const std::vector<RTMPReceivedMessage>& media) {
  serveStream([&](const RTMPReceivedMessage& message) {
    const auto* command = std::get_if<RTMPCommandMessage>(&message);
    if (!command || command->commandName() != "play") return;
    sendStatus("NetStream.Play.Start");
    for (const auto& item : media) send(asMessage(item), std::holds_alternative<RTMPVideoMessage>(item) ? 5 : 4);
  });
}

bool ScriptedRTMPServer::clientClosed() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDeadlineSeconds);
  try {
    // A blocking read would wait past the deadline.
    while (awaitReady(*client_, POLLIN, deadline)) readSome();
    return false;
  } catch (const std::system_error& error) {
    return error.code() == asio::error::eof || error.code() == asio::error::connection_reset;
  }
}

void ScriptedRTMPServer::closeClient() {
  std::error_code ignored;
  client_->shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  client_->close(ignored);
}

void ScriptedRTMPServer::resetClient() {
  std::error_code ignored;
  client_->set_option(asio::socket_base::linger(true, 0), ignored);
  client_->close(ignored);
}

}  // namespace rtmpfluvio::testing
