#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <variant>

#include "Platform/Concurrency/Executor.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace rtmpfluvio {

class RTMPStream;

// Every kind of message a net stream sends.
using RTMPStreamMessage = std::variant<RTMPAudioMessage, RTMPVideoMessage, RTMPDataMessage, RTMPCommandMessage>;

// What a net stream needs of the connection it speaks through.
class RTMPStreamCarrier {
 public:
  virtual ~RTMPStreamCarrier() = default;

  // How long a stream command waits for its answer.
  virtual std::chrono::milliseconds requestTimeout() const = 0;
  virtual platform::Async<bool> connected() = 0;
  // Keeps `stream` among the connection's streams, so that it receives its
  // messages and is set up again on each connect. True when the connection
  // is up at that moment.
  virtual platform::Async<bool> add(std::shared_ptr<RTMPStream> stream) = 0;
  // A connection-level command with its own transaction, answered by
  // "_result" or failed by "_error" or the request time-out.
  virtual platform::Async<RTMPResponse> call(std::string commandName, AMFList arguments) = 0;
  // Hands one message to the connection's ordered output path and returns at
  // once. Messages handed over from one thread or strand leave in that order.
  virtual void output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message) = 0;
};

}  // namespace rtmpfluvio
