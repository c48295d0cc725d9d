#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "Platform/Concurrency/Executor.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDeliveryNotice.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace rtmpfluvio {

class RTMPConnectionListener;

// Every kind of message a net stream sends.
using RTMPStreamMessage = std::variant<RTMPAudioMessage, RTMPVideoMessage, RTMPDataMessage, RTMPCommandMessage>;

// What a net stream sends through: its connection.
class RTMPStreamTransport {
 public:
  using DeliveryNotice = RTMPDeliveryNotice;

  virtual ~RTMPStreamTransport() = default;

  // A stream command's wait for its answer: ends once the command has waited
  // as long as it may (the request time-out, counted from about this call),
  // or with operation_aborted when cancelled first.
  virtual platform::Async<void> waitForRequestTimeout() = 0;
  virtual platform::Async<bool> connected() = 0;
  // Keeps `stream` among the connection's streams, so that it hears what
  // arrives for it and is set up again on each connect. True when the
  // connection is up at that moment.
  virtual platform::Async<bool> addStream(std::shared_ptr<RTMPConnectionListener> stream) = 0;
  // A connection-level command with its own transaction, answered by
  // "_result" or failed by "_error" or the request time-out.
  virtual platform::Async<RTMPResponse> call(std::string commandName, AMFList arguments) = 0;
  // Hands one message to the ordered output path and returns at once.
  // Messages handed over from one strand leave in that order; `delivered`
  // hears how far it got.
  virtual void output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
                      DeliveryNotice delivered = {}) = 0;
};

}  // namespace rtmpfluvio
