#pragma once

#include "Platform/Concurrency/InlineFunction.hpp"

namespace rtmpfluvio {

// How far an outgoing message got: the system took every byte of it (and
// holds little unsent, so this is when more may follow), then the server
// acknowledged its last byte (it has arrived).
enum class RTMPDelivery { written, acknowledged };

// Told each stage a message reaches, in order, on the socket's strand;
// neither for a message that is dropped, and not `acknowledged` for one the
// server had not acknowledged when the link went. Made per message, so kept
// in place rather than on the heap.
using RTMPDeliveryNotice = platform::InlineFunction<void(RTMPDelivery)>;

}  // namespace rtmpfluvio
