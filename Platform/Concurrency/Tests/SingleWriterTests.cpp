#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Channel.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::Signal;
using platform::testing::Watched;

namespace {

// A connection whose send() may be called from many tasks at once. Each
// message is queued whole; one writer task, owned by the connection's task
// group, writes it in several suspending steps, so messages never interleave
// on the wire. close() ends the writer, which lets the connection go.
class Connection : public Actor {
 public:
  Connection(Key key, Signal& destroyed) : Actor(key), destroyed_(destroyed) {}
  static std::shared_ptr<Connection> make(Signal& destroyed) {
    auto connection = Actor::make<Connection>(destroyed);
    connection->tasks_.spawn([connection]() -> Async<void> { co_await connection->writeLoop(); }, "writer");
    return connection;
  }
  ~Connection() override { destroyed_.raise(); }

  Async<void> send(std::string message) {
    auto sending = outgoing_.send(std::move(message));
    co_await std::move(sending);
  }
  Watched<std::size_t> written;  // the wire's length, for a test to wait on
  Async<std::string> wire() { return isolated([this]() -> Async<std::string> { co_return wire_; }); }
  Async<void> close() {
    outgoing_.finish();
    auto ending = tasks_.cancelAll();
    co_await std::move(ending);
  }

 private:
  Async<void> writeLoop() {
    return isolated([this] { return writeLoopBody(); });
  }
  Async<void> writeLoopBody() {
    while (auto message = co_await outgoing_.receive()) {
      for (std::size_t at = 0; at < message->size(); at += 2) {  // one chunk per write
        wire_ += message->substr(at, 2);
        written.set(wire_.size());
        co_await sleepFor(100us);  // the socket write suspends
      }
    }
  }

  Signal& destroyed_;
  Channel<std::string> outgoing_{8};
  TaskGroup tasks_;
  std::string wire_;
};

}  // namespace

TEST(SingleWriter, MessagesSentFromManyTasksReachTheWireWhole) {
  Signal destroyed;
  auto connection = Connection::make(destroyed);
  const std::vector<std::string> letters = {"A", "B", "C", "D"};
  constexpr int perSender = 5;
  for (const auto& letter : letters) {
    spawn(globalExecutor(), [connection, letter]() -> Async<void> {
      for (int i = 0; i < perSender; ++i) co_await connection->send(std::string(6, letter[0]));
    });
  }
  const std::size_t total = letters.size() * perSender * 6;
  ASSERT_TRUE(connection->written.waitFor(total));
  auto wire = blockOn(connection->wire());
  for (std::size_t at = 0; at < wire.size(); at += 6) {
    EXPECT_EQ(wire.substr(at, 6), std::string(6, wire[at])) << "interleaved at " << at << ": " << wire;
  }
  blockOn(connection->close());
  std::weak_ptr<Connection> weak = connection;
  connection.reset();
  EXPECT_TRUE(destroyed.wait()) << "the closed connection was kept alive";
}
