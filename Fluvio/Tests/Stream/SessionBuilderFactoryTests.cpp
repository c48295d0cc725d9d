#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "Fluvio/Sources/Stream/SessionBuilder.hpp"
#include "Fluvio/Sources/Stream/SessionBuilderFactory.hpp"
#include "Platform/Concurrency/BlockOn.hpp"

using namespace fluvio;
using platform::Async;

namespace {

// Remembers what it was made with and which factory made it.
class RecordingSession : public Session {
 public:
  RecordingSession(Key key, platform::URL uri, SessionMode mode,
                   std::shared_ptr<const SessionConfiguration> configuration, std::string madeBy)
      : Session(key),
        uri(std::move(uri)),
        mode(mode),
        configuration(std::move(configuration)),
        madeBy(std::move(madeBy)) {}

  const platform::URL uri;
  const SessionMode mode;
  const std::shared_ptr<const SessionConfiguration> configuration;
  const std::string madeBy;

  Async<bool> connected() override { co_return false; }
  Async<void> close() override { co_return; }
  Async<platform::AsyncStream<SessionReadyState>> readyState() override {
    co_return platform::AsyncStream<SessionReadyState>::makeStream().first;
  }
  Async<std::shared_ptr<StreamConvertible>> stream() override { co_return nullptr; }
  Async<void> setMaxRetryCount(int) override { co_return; }
  Async<void> connect(std::function<void()>) override { co_return; }
};

class NamedFactory : public SessionFactory {
 public:
  NamedFactory(std::string name, std::set<std::string> protocols)
      : name_(std::move(name)), protocols_(std::move(protocols)) {}

  std::set<std::string> supportedProtocols() const override { return protocols_; }
  std::shared_ptr<Session> make(const platform::URL& uri, SessionMode mode,
                                std::shared_ptr<const SessionConfiguration> configuration) const override {
    return platform::Actor::make<RecordingSession>(uri, mode, std::move(configuration), name_);
  }

 private:
  std::string name_;
  std::set<std::string> protocols_;
};

struct Options : SessionConfiguration {
  nlohmann::json encoded() const override { return {{"timeout", 15}}; }
};

std::shared_ptr<SessionBuilderFactory> registry(std::initializer_list<std::shared_ptr<SessionFactory>> factories) {
  auto factory = SessionBuilderFactory::make();
  for (const auto& each : factories) platform::blockOn(factory->registerFactory(each));
  return factory;
}

std::optional<platform::URL> url(std::optional<std::string> text) {
  return text ? platform::URL::make(*text) : std::nullopt;
}

std::shared_ptr<RecordingSession> build(const std::shared_ptr<SessionBuilderFactory>& factory,
                                        std::optional<std::string> uri) {
  return std::static_pointer_cast<RecordingSession>(
      platform::blockOn(factory->build(url(std::move(uri)), SessionMode::publish, nullptr)));
}

SessionBuilderFactory::Error::Case buildError(const std::shared_ptr<SessionBuilderFactory>& factory,
                                              std::optional<std::string> uri) {
  try {
    build(factory, std::move(uri));
  } catch (const SessionBuilderFactory::Error& error) {
    return error.errorCase();
  }
  ADD_FAILURE() << "build succeeded";
  return {};
}

}  // namespace

TEST(SessionBuilderFactory, DispatchesByTheSchemeAsWritten) {
  const auto factory = registry({std::make_shared<NamedFactory>("rtmp", std::set<std::string>{"rtmp", "rtmps"}),
                                 std::make_shared<NamedFactory>("plain", std::set<std::string>{""})});
  struct Row {
    std::string uri;
    std::optional<std::string> madeBy;
  };
  const std::vector<Row> table{
      {"rtmp://127.0.0.1/live", "rtmp"},
      {"rtmps://127.0.0.1:443/live", "rtmp"},
      {"RTMP://127.0.0.1/live", std::nullopt},  // schemes compare case-sensitively
      {"file:///tmp/movie.mp4", std::nullopt},
      {"127.0.0.1/live", "plain"},              // no scheme: only the empty-string entry serves it
      {"1rtmp://127.0.0.1", "plain"},           // not a well-formed scheme
  };
  for (const auto& row : table) {
    if (row.madeBy) {
      EXPECT_EQ(build(factory, row.uri)->madeBy, *row.madeBy) << row.uri;
    } else {
      EXPECT_EQ(buildError(factory, row.uri), SessionBuilderFactory::Error::Case::notFound) << row.uri;
    }
  }
}

TEST(SessionBuilderFactory, MissingUrlAndEmptyRegistryFail) {
  const auto empty = SessionBuilderFactory::make();
  EXPECT_EQ(buildError(empty, "rtmp://127.0.0.1/live"), SessionBuilderFactory::Error::Case::notFound);
  EXPECT_EQ(buildError(empty, std::nullopt), SessionBuilderFactory::Error::Case::illegalArgument);
  EXPECT_THROW(platform::blockOn(empty->make(std::nullopt)), SessionBuilderFactory::Error);
  EXPECT_STREQ(SessionBuilderFactory::Error(SessionBuilderFactory::Error::Case::notFound).what(),
               "SessionBuilderFactory.Error.notFound");
}

TEST(SessionBuilderFactory, TheFirstRegistrationOfASchemeSetWins) {
  const auto factory = registry({std::make_shared<NamedFactory>("first", std::set<std::string>{"rtmp", "rtmps"}),
                                 std::make_shared<NamedFactory>("same set", std::set<std::string>{"rtmps", "rtmp"}),
                                 std::make_shared<NamedFactory>("overlap", std::set<std::string>{"rtmp", "srt"})});
  EXPECT_EQ(build(factory, "rtmp://127.0.0.1/live")->madeBy, "first");
  EXPECT_EQ(build(factory, "rtmps://127.0.0.1/live")->madeBy, "first");
  EXPECT_EQ(build(factory, "srt://127.0.0.1:9000")->madeBy, "overlap");
}

TEST(SessionBuilderFactory, SharedIsOneInstance) {
  EXPECT_EQ(SessionBuilderFactory::shared(), SessionBuilderFactory::shared());
  EXPECT_NE(SessionBuilderFactory::shared(), SessionBuilderFactory::make());
}

TEST(SessionBuilder, BuildsWithTheStoredUrlModeAndConfiguration) {
  const auto factory = registry({std::make_shared<NamedFactory>("rtmp", std::set<std::string>{"rtmp"})});
  const auto builder = platform::blockOn(factory->make(url("rtmp://127.0.0.1/live")));

  auto session = std::static_pointer_cast<RecordingSession>(platform::blockOn(builder->build()));
  EXPECT_EQ(session->uri.absoluteString(), "rtmp://127.0.0.1/live");
  EXPECT_EQ(session->mode, SessionMode::publish);
  EXPECT_EQ(session->configuration, nullptr);

  const auto options = std::make_shared<Options>();
  const auto chained = platform::blockOn([builder, options]() -> Async<std::shared_ptr<SessionBuilder>> {
    co_return co_await (co_await builder->setMode(SessionMode::playback))->setConfiguration(options);
  });
  EXPECT_EQ(chained, builder);
  session = std::static_pointer_cast<RecordingSession>(platform::blockOn(builder->build()));
  EXPECT_EQ(session->mode, SessionMode::playback);
  EXPECT_EQ(session->configuration, options);
  EXPECT_EQ(nlohmann::json(*session->configuration), (nlohmann::json{{"timeout", 15}}));

  const auto fileBuilder = platform::blockOn(factory->make(url("file:///tmp/a.mp4")));
  EXPECT_THROW(platform::blockOn(fileBuilder->build()), SessionBuilderFactory::Error);
}
