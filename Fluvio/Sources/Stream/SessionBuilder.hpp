#pragma once

#include <memory>
#include <utility>

#include "Fluvio/Sources/Stream/Session.hpp"
#include "Fluvio/Sources/Stream/SessionConfiguration.hpp"
#include "Fluvio/Sources/Stream/SessionMode.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Foundation/URL.hpp"

namespace fluvio {

class SessionBuilderFactory;

// Collects a mode and an optional configuration for one URL, then builds the
// session through the factory that made it. The setters return the builder,
// so calls chain.
class SessionBuilder : public platform::Actor, public std::enable_shared_from_this<SessionBuilder> {
 public:
  SessionBuilder(Key key, std::shared_ptr<SessionBuilderFactory> factory, platform::URL uri)
      : Actor(key), factory_(std::move(factory)), uri_(std::move(uri)) {}
  static std::shared_ptr<SessionBuilder> make(std::shared_ptr<SessionBuilderFactory> factory, platform::URL uri);

  platform::Async<std::shared_ptr<SessionBuilder>> setMode(SessionMode mode);
  // Null clears the configuration.
  platform::Async<std::shared_ptr<SessionBuilder>> setConfiguration(std::shared_ptr<const SessionConfiguration> configuration);
  // Errors of the factory's build pass through.
  platform::Async<std::shared_ptr<Session>> build();

 private:
  platform::Async<std::shared_ptr<SessionBuilder>> setModeBody(SessionMode mode);
  platform::Async<std::shared_ptr<SessionBuilder>> setConfigurationBody(
      std::shared_ptr<const SessionConfiguration> configuration);
  platform::Async<std::shared_ptr<Session>> buildBody();

  const std::shared_ptr<SessionBuilderFactory> factory_;
  const platform::URL uri_;
  SessionMode mode_ = SessionMode::publish;
  std::shared_ptr<const SessionConfiguration> configuration_;
};

}  // namespace fluvio
