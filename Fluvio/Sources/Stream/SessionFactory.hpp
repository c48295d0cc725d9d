#pragma once

#include <memory>
#include <set>
#include <string>

#include "Fluvio/Sources/Stream/Session.hpp"
#include "Fluvio/Sources/Stream/SessionConfiguration.hpp"
#include "Fluvio/Sources/Stream/SessionMode.hpp"
#include "Platform/Foundation/URL.hpp"

namespace fluvio {

// Makes sessions for the URL schemes a network module serves.
class SessionFactory {
 public:
  virtual ~SessionFactory() = default;

  virtual std::set<std::string> supportedProtocols() const = 0;
  // `configuration` may be null.
  virtual std::shared_ptr<Session> make(const platform::URL& uri, SessionMode mode,
                                        std::shared_ptr<const SessionConfiguration> configuration) const = 0;
};

}  // namespace fluvio
