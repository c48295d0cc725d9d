#include "TarvelPortalBroadcast/Sources/BroadcastSettings.hpp"

#include "Platform/VideoToolbox/VTSessionProperties.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"

namespace tarvelportalbroadcast {

fluvio::VideoCodecSettings broadcastVideoSettings() {
  return fluvio::VideoCodecSettings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1),
                                    fluvio::VideoCodecSettings::ScalingMode::trim,
                                    fluvio::VideoCodecSettings::BitRateMode::average(), 2, std::nullopt,
                                    std::vector<double>{0.0, 0.0}, false, true, std::nullopt);
}

fluvio::AudioCodecSettings broadcastAudioSettings() {
  return fluvio::AudioCodecSettings(128'000, true, std::nullopt, 0, fluvio::AudioCodecSettings::Format::aac);
}

rtmpfluvio::RTMPConnectionConfiguration broadcastConnectionConfiguration() {
  using rtmpfluvio::RTMPConnection;
  rtmpfluvio::RTMPConnectionConfiguration configuration;
  configuration.fourCcList = RTMPConnection::supportedFourCcList();
  configuration.videoFourCcInfoMap = RTMPConnection::supportedVideoFourCcInfoMap();
  configuration.audioFourCcInfoMap = RTMPConnection::supportedAudioFourCcInfoMap();
  configuration.capsEx = 0;
  configuration.timeout = std::chrono::seconds(15);
  configuration.requestTimeout = std::chrono::milliseconds(3000);
  configuration.chunkSize = 8192;
  // The user started the broadcast and watches it go out.
  configuration.qualityOfService = platform::DispatchQoS::userInitiated;
  return configuration;
}

}  // namespace tarvelportalbroadcast
