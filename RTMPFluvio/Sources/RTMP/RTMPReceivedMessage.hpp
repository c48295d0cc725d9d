#pragma once

#include <optional>
#include <variant>

#include "RTMPFluvio/Sources/RTMP/RTMPAggregateMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace rtmpfluvio {

// A message of any type, as the receiving side hands it on.
using RTMPReceivedMessage =
    std::variant<RTMPSetChunkSizeMessage, RTMPAbortMessge, RTMPAcknowledgementMessage, RTMPUserControlMessage,
                 RTMPWindowAcknowledgementSizeMessage, RTMPSetPeerBandwidthMessage, RTMPAudioMessage,
                 RTMPVideoMessage, RTMPDataMessage, RTMPSharedObjectMessage, RTMPCommandMessage, RTMPAggregateMessage>;

// The typed message of a complete received message, by its type byte. None
// for a type we do not know (not logged), a control payload shorter than its
// layout, or an AMF payload that does not decode (logged).
std::optional<RTMPReceivedMessage> decodeMessage(const RTMPChunkMessageHeader& header);

// The message as the protocol every type shares.
const RTMPMessage& asMessage(const RTMPReceivedMessage& message) noexcept;

}  // namespace rtmpfluvio
