#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Stream/Session.hpp"
#include "Fluvio/Sources/Stream/SessionConfiguration.hpp"
#include "Fluvio/Sources/Stream/SessionFactory.hpp"
#include "Fluvio/Sources/Stream/SessionMode.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Foundation/URL.hpp"

namespace fluvio {

class SessionBuilder;

// Picks the registered session factory by a URL's scheme. Registrations last
// for the factory's life.
class SessionBuilderFactory : public platform::Actor, public std::enable_shared_from_this<SessionBuilderFactory> {
 public:
  class Error : public std::exception {
   public:
    // No URL given; no registered factory serves the URL's scheme.
    enum class Case { illegalArgument, notFound };

    explicit Error(Case errorCase) noexcept : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  // The process-wide instance, made on first use.
  static const std::shared_ptr<SessionBuilderFactory>& shared();
  using Actor::Actor;
  // A factory of its own, with no registrations.
  static std::shared_ptr<SessionBuilderFactory> make();

  // A builder for `uri` in mode publish without configuration; throws
  // illegalArgument without a URL.
  platform::Async<std::shared_ptr<SessionBuilder>> make(std::optional<platform::URL> uri);
  // Ignored when a registered factory serves exactly the same schemes.
  platform::Async<void> registerFactory(std::shared_ptr<SessionFactory> factory);
  // The session of the first registered factory that serves the URL's scheme
  // (case-sensitive; empty for a URL without one). Throws illegalArgument or notFound.
  platform::Async<std::shared_ptr<Session>> build(std::optional<platform::URL> uri, SessionMode mode,
                                                  std::shared_ptr<const SessionConfiguration> configuration);

 private:
  platform::Async<std::shared_ptr<SessionBuilder>> makeBody(std::optional<platform::URL> uri);
  platform::Async<void> registerFactoryBody(std::shared_ptr<SessionFactory> factory);
  platform::Async<std::shared_ptr<Session>> buildBody(std::optional<platform::URL> uri, SessionMode mode,
                                                      std::shared_ptr<const SessionConfiguration> configuration);

  std::vector<std::shared_ptr<SessionFactory>> factories_;
};

}  // namespace fluvio
