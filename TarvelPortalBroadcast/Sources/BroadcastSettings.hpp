#pragma once

#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionConfiguration.hpp"

namespace tarvelportalbroadcast {

// What every broadcast is published with: 720p H.264 Baseline 3.1 at
// 2.2 Mbit/s, AAC at 128 kbit/s in the input's rate downmixed to stereo,
// over a user-initiated connection that announces the enhanced codecs.
fluvio::VideoCodecSettings broadcastVideoSettings();
fluvio::AudioCodecSettings broadcastAudioSettings();
rtmpfluvio::RTMPConnectionConfiguration broadcastConnectionConfiguration();

}  // namespace tarvelportalbroadcast
