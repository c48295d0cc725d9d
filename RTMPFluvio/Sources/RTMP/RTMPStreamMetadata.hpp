#pragma once

#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "RTMPFluvio/Sources/AMF/AMFArray.hpp"

namespace rtmpfluvio {

// The "onMetaData" a publication announces: the duration always, the video
// keys once raw video has reached the outgoing stream, the audio keys once
// raw audio has, each from the encoder settings in force.
AMFArray makeMetadata(const fluvio::OutgoingStream& outgoing);

}  // namespace rtmpfluvio
