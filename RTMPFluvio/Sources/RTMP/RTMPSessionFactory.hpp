#pragma once

#include "Fluvio/Sources/Stream/SessionFactory.hpp"

namespace rtmpfluvio {

// Sessions for "rtmp" and "rtmps" URLs.
class RTMPSessionFactory final : public fluvio::SessionFactory {
 public:
  std::set<std::string> supportedProtocols() const override { return {"rtmp", "rtmps"}; }
  // The configuration is not used.
  std::shared_ptr<fluvio::Session> make(const platform::URL& uri, fluvio::SessionMode mode,
                                        std::shared_ptr<const fluvio::SessionConfiguration> configuration) const override;
};

}  // namespace rtmpfluvio
