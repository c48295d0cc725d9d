#include "RTMPFluvio/Sources/RTMP/RTMPConnectionCarrier.hpp"

#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamConnectionLink.hpp"

namespace rtmpfluvio {

RTMPConnectionCarrier::RTMPConnectionCarrier(const std::shared_ptr<RTMPConnection>& connection)
    : connection_(connection), requestTimeout_(connection->configuration().requestTimeout) {}

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
  // Queued in call order from the stream's strand: the wire keeps the order.
  std::visit([&](auto& sent) { connection->enqueueOutput(chunkType, chunkStreamId, std::move(sent)); }, message);
}

}  // namespace rtmpfluvio
