#include "Platform/Network/NWConnection.hpp"

#include <asio/post.hpp>

#include "Platform/Network/TCPConnection.hpp"
#include "Platform/Network/TLSConnection.hpp"

namespace platform {

std::shared_ptr<NWConnection> NWConnection::make(std::string host, std::uint16_t port, NWParameters parameters,
                                                 Executor executor) {
  auto tcp = TCPConnection::make(host, port, parameters.qualityOfService, std::move(executor));
  if (parameters.security == NWParameters::Security::none) return tcp;
  return TLSConnection::make(std::move(host), std::move(tcp));
}

NWConnection::NWConnection(StrandExecutor strand) : strand_(std::move(strand)) {}

NWConnection::~NWConnection() = default;

void NWConnection::setStateUpdateHandler(StateUpdateHandler handler) {
  asio::post(strand_, [self = shared_from_this(), handler = std::move(handler)]() mutable {
    self->stateUpdateHandler_ = std::move(handler);
  });
}

void NWConnection::setViabilityUpdateHandler(ViabilityUpdateHandler handler) {
  asio::post(strand_, [self = shared_from_this(), handler = std::move(handler)]() mutable {
    self->viabilityUpdateHandler_ = std::move(handler);
  });
}

void NWConnection::report(State state, std::optional<NWError> error) {
  if (state == state_) return;
  state_ = state;
  if (stateUpdateHandler_) stateUpdateHandler_(state, std::move(error));
}

void NWConnection::reportNotViable() {
  if (!viable_) return;
  viable_ = false;
  if (viabilityUpdateHandler_) viabilityUpdateHandler_(false);
}

void NWConnection::detach() {
  stateUpdateHandler_ = nullptr;
  viabilityUpdateHandler_ = nullptr;
  state_ = State::cancelled;
}

}  // namespace platform
