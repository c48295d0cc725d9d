#pragma once

#include <asio/buffer.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>
#include <cstdint>
#include <memory>
#include <system_error>

#include "Platform/Network/NWConnection.hpp"

namespace platform {

// A connection seen as an asio byte stream, so that a protocol engine written
// for asio streams (the TLS one) runs over it. Completions run on the
// connection's strand, never inside the call that started them.
class ConnectionByteStream {
 public:
  using executor_type = StrandExecutor;
  using lowest_layer_type = ConnectionByteStream;

  explicit ConnectionByteStream(std::shared_ptr<NWConnection> connection) : connection_(std::move(connection)) {}

  // Bytes the connection has taken from our writes so far.
  std::uint64_t written() const noexcept { return *written_; }

  executor_type get_executor() const noexcept { return connection_->strand(); }
  lowest_layer_type& lowest_layer() noexcept { return *this; }
  const lowest_layer_type& lowest_layer() const noexcept { return *this; }

  template <class MutableBuffers, class Handler>
  void async_read_some(const MutableBuffers& buffers, Handler&& handler) {
    auto shared = std::make_shared<std::decay_t<Handler>>(std::forward<Handler>(handler));
    const std::size_t size = asio::buffer_size(buffers);
    // Asked for nothing: done, as if posted.
    if (size == 0) {
      asio::post(get_executor(), [shared] { (*shared)(std::error_code(), 0); });
      return;
    }
    connection_->receive(size, [buffers, shared](NWConnection::Bytes data, std::optional<NWError> error) {
      if (error) return (*shared)(error->code(), 0);
      if (data.empty()) return (*shared)(asio::error::eof, 0);
      (*shared)(std::error_code(), asio::buffer_copy(buffers, asio::buffer(data)));
    });
  }

  template <class ConstBuffers, class Handler>
  void async_write_some(const ConstBuffers& buffers, Handler&& handler) {
    auto shared = std::make_shared<std::decay_t<Handler>>(std::forward<Handler>(handler));
    OutgoingBytes content(asio::buffer_size(buffers));
    asio::buffer_copy(asio::buffer(content), buffers);
    const std::size_t size = content.size();
    connection_->send(std::move(content), [shared, size, written = written_](std::optional<NWError> error) {
      if (error) return (*shared)(error->code(), 0);
      *written += size;
      (*shared)(std::error_code(), size);
    });
  }

 private:
  std::shared_ptr<NWConnection> connection_;
  // Shared with the sends under way, which may end after a move of the stream.
  std::shared_ptr<std::uint64_t> written_ = std::make_shared<std::uint64_t>(0);
};

}  // namespace platform
