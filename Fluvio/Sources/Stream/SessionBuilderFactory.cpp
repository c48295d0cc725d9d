#include "Fluvio/Sources/Stream/SessionBuilderFactory.hpp"

#include <algorithm>
#include <utility>

#include "Fluvio/Sources/Stream/SessionBuilder.hpp"

namespace fluvio {

const char* SessionBuilderFactory::Error::what() const noexcept {
  switch (case_) {
    case Case::illegalArgument:
      return "SessionBuilderFactory.Error.illegalArgument";
    case Case::notFound:
      return "SessionBuilderFactory.Error.notFound";
  }
  return "SessionBuilderFactory.Error";
}

const std::shared_ptr<SessionBuilderFactory>& SessionBuilderFactory::shared() {
  static const auto instance = make();
  return instance;
}

std::shared_ptr<SessionBuilderFactory> SessionBuilderFactory::make() { return Actor::make<SessionBuilderFactory>(); }

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilderFactory::make(std::optional<platform::URL> uri) {
  return isolated([this, uri = std::move(uri)]() mutable { return makeBody(std::move(uri)); });
}

platform::Async<void> SessionBuilderFactory::registerFactory(std::shared_ptr<SessionFactory> factory) {
  return isolated([this, factory = std::move(factory)]() mutable { return registerFactoryBody(std::move(factory)); });
}

platform::Async<std::shared_ptr<Session>> SessionBuilderFactory::build(
    std::optional<platform::URL> uri, SessionMode mode, std::shared_ptr<const SessionConfiguration> configuration) {
  return isolated([this, uri = std::move(uri), mode, configuration = std::move(configuration)]() mutable {
    return buildBody(std::move(uri), mode, std::move(configuration));
  });
}

platform::Async<std::shared_ptr<SessionBuilder>> SessionBuilderFactory::makeBody(std::optional<platform::URL> uri) {
  if (!uri) throw Error(Error::Case::illegalArgument);
  co_return SessionBuilder::make(shared_from_this(), std::move(*uri));
}

platform::Async<void> SessionBuilderFactory::registerFactoryBody(std::shared_ptr<SessionFactory> factory) {
  if (!factory) co_return;
  const auto protocols = factory->supportedProtocols();
  const bool registered = std::any_of(factories_.begin(), factories_.end(), [&](const auto& existing) {
    return existing->supportedProtocols() == protocols;
  });
  if (!registered) factories_.push_back(std::move(factory));
}

platform::Async<std::shared_ptr<Session>> SessionBuilderFactory::buildBody(
    std::optional<platform::URL> uri, SessionMode mode, std::shared_ptr<const SessionConfiguration> configuration) {
  if (!uri) throw Error(Error::Case::illegalArgument);
  for (const auto& factory : factories_) {
    if (factory->supportedProtocols().contains(uri->scheme())) {
      co_return factory->make(*uri, mode, std::move(configuration));
    }
  }
  throw Error(Error::Case::notFound);
}

}  // namespace fluvio
