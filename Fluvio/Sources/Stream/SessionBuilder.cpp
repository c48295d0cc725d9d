#include "Fluvio/Sources/Stream/SessionBuilder.hpp"

#include "Fluvio/Sources/Stream/SessionBuilderFactory.hpp"

namespace fluvio {

std::shared_ptr<SessionBuilder> SessionBuilder::make(std::shared_ptr<SessionBuilderFactory> factory, platform::URL uri) {
  return Actor::make<SessionBuilder>(std::move(factory), std::move(uri));
}

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilder::setMode(SessionMode mode) {
  return isolated([this, mode] { return setModeBody(mode); });
}

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilder::setConfiguration(
    std::shared_ptr<const SessionConfiguration> configuration) {
  return isolated([this, configuration = std::move(configuration)]() mutable {
    return setConfigurationBody(std::move(configuration));
  });
}

platform::Async<std::shared_ptr<Session>> SessionBuilder::build() {
  return isolated([this] { return buildBody(); });
}

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilder::setModeBody(SessionMode mode) {
  mode_ = mode;
  co_return shared_from_this();
}

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilder::setConfigurationBody(
    std::shared_ptr<const SessionConfiguration> configuration) {
  configuration_ = std::move(configuration);
  co_return shared_from_this();
}

platform::Async<std::shared_ptr<Session>> SessionBuilder::buildBody() {
  co_return co_await factory_->build(uri_, mode_, configuration_);
}

}  // namespace fluvio
