#include "RTMPFluvio/Sources/RTMP/RTMPSessionFactory.hpp"

#include "RTMPFluvio/Sources/RTMP/RTMPSession.hpp"

namespace rtmpfluvio {

std::shared_ptr<fluvio::Session> RTMPSessionFactory::make(const platform::URL& uri, fluvio::SessionMode mode,
                                                          std::shared_ptr<const fluvio::SessionConfiguration>) const {
  return RTMPSession::make(uri, mode);
}

}  // namespace rtmpfluvio
