#pragma once

#include <memory>
#include <string>

#include "Tracepost/Sources/NetSocket.hpp"
#include "Tracepost/Sources/TextAppender.hpp"

namespace tracepost {

// Sends each record as one line to a log peer over TCP: date, level, logger,
// file path, line, function and message joined by tabs, then "\r\n\r\n".
// TPLogger::Data reads such a line back.
class SocketAppender : public TextAppender {
 public:
  static std::shared_ptr<SocketAppender> make() { return std::make_shared<SocketAppender>(); }

  void connect(std::string host, int port) { socket_->connect(std::move(host), port); }
  void close() { socket_->close(); }

 protected:
  void write(const TPLogger& logger, TPLoggerLevel level, std::string_view file, std::string_view function, int line,
             std::string_view message) override;

 private:
  const std::shared_ptr<NetSocket> socket_ = NetSocket::make();
};

}  // namespace tracepost
