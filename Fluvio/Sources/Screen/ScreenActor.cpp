#include "Fluvio/Sources/Screen/ScreenActor.hpp"

namespace fluvio {

ScreenActor& ScreenActor::shared() {
  static ScreenActor actor;
  return actor;
}

ScreenActor::ScreenActor()
    : guard_(asio::make_work_guard(context_)), thread_([this] { context_.run(); }) {}

ScreenActor::~ScreenActor() {
  guard_.reset();
  context_.stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace fluvio
