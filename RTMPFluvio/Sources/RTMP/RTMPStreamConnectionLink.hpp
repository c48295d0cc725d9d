#pragma once

#include <memory>

#include "RTMPFluvio/Sources/RTMP/RTMPConnectionStream.hpp"

namespace rtmpfluvio {

class RTMPStream;

// A stream as its connection sees it. It runs on a strand over the stream's
// own, so what the connection hands it is applied in arrival order, never
// alongside the stream's other work. The connection keeps it, and through it
// the stream, as long as the stream is registered.
class RTMPStreamConnectionLink final : public RTMPConnectionStream {
 public:
  RTMPStreamConnectionLink(Key key, std::shared_ptr<RTMPStream> stream);

  using RTMPConnectionStream::setId;

  void dispatch(const RTMPReceivedMessage& message, RTMPChunkType type) override;
  void dispatch(const RTMPUserControlMessage& message) override;
  void dispatch(const fluvio::NetworkMonitorEvent& event) override;
  platform::Async<void> createStream() override;
  platform::Async<void> connectionWillClose() override;

 private:
  const std::shared_ptr<RTMPStream> stream_;
};

}  // namespace rtmpfluvio
