#pragma once

#include <memory>

#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamCarrier.hpp"

namespace rtmpfluvio {

// A stream's way to its RTMPConnection. Messages go out through the
// connection's output in the order the stream's strand hands them over.
class RTMPConnectionCarrier final : public RTMPStreamCarrier {
 public:
  explicit RTMPConnectionCarrier(const std::shared_ptr<RTMPConnection>& connection);

  std::chrono::milliseconds requestTimeout() const override { return requestTimeout_; }
  platform::Async<bool> connected() override;
  platform::Async<bool> add(std::shared_ptr<RTMPStream> stream) override;
  platform::Async<RTMPResponse> call(std::string commandName, AMFList arguments) override;
  void output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message) override;

 private:
  // Weak: the connection keeps its streams, not the other way round.
  const std::weak_ptr<RTMPConnection> connection_;
  const std::chrono::milliseconds requestTimeout_;
};

}  // namespace rtmpfluvio
