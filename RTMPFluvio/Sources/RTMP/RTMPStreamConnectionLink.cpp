#include "RTMPFluvio/Sources/RTMP/RTMPStreamConnectionLink.hpp"

#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"

namespace rtmpfluvio {

RTMPStreamConnectionLink::RTMPStreamConnectionLink(Key key, std::shared_ptr<RTMPStream> stream)
    : RTMPConnectionStream(key, platform::Executor(stream->strand())), stream_(std::move(stream)) {}

void RTMPStreamConnectionLink::dispatch(const RTMPReceivedMessage& message, RTMPChunkType type) {
  stream_->didReceive(message, type);
}

void RTMPStreamConnectionLink::dispatch(const RTMPUserControlMessage& message) {
  stream_->didReceive(message.event());
}

void RTMPStreamConnectionLink::dispatch(const fluvio::NetworkMonitorEvent& event) {
  stream_->didReceive(event);
}

platform::Async<void> RTMPStreamConnectionLink::createStream() { return stream_->createStream(); }

platform::Async<void> RTMPStreamConnectionLink::connectionWillClose() { return stream_->connectionWillClose(); }

}  // namespace rtmpfluvio
