#include "RTMPFluvio/Sources/RTMP/RTMPConnectionCarrier.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamConnectionLink.hpp"

namespace rtmpfluvio {

RTMPConnectionCarrier::RTMPConnectionCarrier(const std::shared_ptr<RTMPConnection>& connection,
                                             platform::Executor streamStrand)
    : connection_(connection),
      requestTimeout_(connection->configuration().requestTimeout),
      streamStrand_(std::move(streamStrand)) {}

platform::Async<bool> RTMPConnectionCarrier::connected() {
  const auto connection = connection_.lock();
  if (!connection) co_return false;
  co_return co_await connection->connected();
}

platform::Async<bool> RTMPConnectionCarrier::add(std::shared_ptr<RTMPStream> stream) {
  const auto connection = connection_.lock();
  if (!connection) co_return false;
  co_await connection->addStream(stream->connectionLink());
  co_return co_await connection->connected();
}

platform::Async<RTMPResponse> RTMPConnectionCarrier::call(std::string commandName, AMFList arguments) {
  const auto connection = connection_.lock();
  if (!connection) throw RTMPConnection::Error(RTMPConnection::Error::Case::invalidState);
  co_return co_await connection->call(std::move(commandName), std::move(arguments));
}

void RTMPConnectionCarrier::output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId,
                                   RTMPStreamMessage message) {
  const auto connection = connection_.lock();
  if (!connection) return;
  // Started in call order on the stream's strand, each hands its message to
  // the connection's strand before the next starts: the wire keeps the order.
  std::visit(
      [&](auto& sent) {
        asio::co_spawn(streamStrand_, connection->doOutput(chunkType, chunkStreamId, std::move(sent)), asio::detached);
      },
      message);
}

}  // namespace rtmpfluvio
