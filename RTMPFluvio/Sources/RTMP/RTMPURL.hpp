#pragma once

#include <string>

#include "Platform/Foundation/URL.hpp"

namespace rtmpfluvio {

// A URL that names a server application and, after it, a stream:
// rtmp://host/app/name?query.
class RTMPURL {
 public:
  explicit RTMPURL(platform::URL url) : url_(std::move(url)) {}

  const platform::URL& url() const noexcept { return url_; }

  // The path after the application component, then "?" and the query as
  // written (percent-encoded, so a "%26" in a key stays one). Empty when the
  // path has no component after the application.
  std::string streamName() const;
  // The URL to connect to: the same scheme, credentials, host and port and
  // the application component only.
  platform::URL commandURL() const;

 private:
  platform::URL url_;
};

}  // namespace rtmpfluvio
