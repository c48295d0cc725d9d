#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/InlineFunction.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"
#include "Platform/Network/NWError.hpp"
#include "Platform/Network/NWParameters.hpp"
#include "Platform/Network/OutgoingBytes.hpp"

namespace platform {

// One outgoing connection: plain TCP, or TLS layered over TCP, chosen by the
// parameters; both look the same from here. `start` connects, reporting each
// state once. Handlers run on the connection's strand. At most one receive
// and one send may be outstanding: a second one fails with
// operation_in_progress. The connection keeps itself alive while an
// operation runs.
class NWConnection : public std::enable_shared_from_this<NWConnection> {
 public:
  using Bytes = std::vector<std::uint8_t>;
  // Bytes the system may hold that are not on the wire yet: it asks for more
  // only below this, a few round trips of a broadcast's rate on a fast link.
  static constexpr int kNotSentLowWater = 32 * 1024;
  // `waiting`: no path to the peer (network down or unreachable); the
  // connection is closed, as `failed` would leave it.
  enum class State { setup, preparing, waiting, ready, failed, cancelled };
  using StateUpdateHandler = std::function<void(State, std::optional<NWError>)>;
  // False once an established connection has lost its path to the peer.
  using ViabilityUpdateHandler = std::function<void(bool)>;
  // Data, or an error; no data and no error is the end of the stream.
  using ReceiveCompletion = std::function<void(Bytes, std::optional<NWError>)>;
  // Made once per send: kept in place, it costs no heap block.
  using SendCompletion = InlineFunction<void(std::optional<NWError>)>;
  // How far sending has come: bytes the system took from sends so far (also
  // while a send is under way), and of those the bytes the peer acknowledged,
  // which is what it has surely received. Both stay as they were last seen
  // once the connection is closed.
  struct Progress {
    std::uint64_t written = 0;
    std::uint64_t acknowledged = 0;
    friend bool operator==(const Progress&, const Progress&) = default;
  };

  static std::shared_ptr<NWConnection> make(std::string host, std::uint16_t port, NWParameters parameters,
                                            Executor executor = networkExecutor());
  virtual ~NWConnection();

  // Set before `start`.
  void setStateUpdateHandler(StateUpdateHandler handler);
  void setViabilityUpdateHandler(ViabilityUpdateHandler handler);
  virtual void start() = 0;
  // Up to `maximumLength` bytes, as soon as any are there.
  virtual void receive(std::size_t maximumLength, ReceiveCompletion completion) = 0;
  // Completes when the system has taken every byte. It holds only a little
  // that is not sent yet (kNotSentLowWater), so a peer or link that does not
  // keep up holds the send, and the backlog stays with the sender.
  virtual void send(OutgoingBytes content, SendCompletion completion) = 0;
  virtual void progress(std::function<void(Progress)> completion) = 0;
  // Closes gracefully and reports `cancelled`: ends TLS with its close alert,
  // then the TCP stream, and reads what the peer still sends until the peer
  // closes too, has acknowledged everything, or `grace` runs out. A pending
  // receive fails; with a send under way the connection closes at once. A
  // second cancel does nothing.
  virtual void cancel(std::chrono::steady_clock::duration grace = std::chrono::seconds(5)) = 0;
  // Closes at once without reporting anything more.
  virtual void forceCancel() = 0;

  // Our own strand type: it answers asio's queries without the heap blocks
  // that a strand over the erased executor takes for each step.
  const StrandExecutor& strand() const noexcept { return strand_; }

 protected:
  explicit NWConnection(StrandExecutor strand);

  State state() const noexcept { return state_; }
  // Tells the handler unless `state` is the current state already.
  void report(State state, std::optional<NWError> error = std::nullopt);
  // Tells the handler that the path is gone, the first time only.
  void reportNotViable();
  // Nothing more is reported: the connection counts as cancelled.
  void detach();

 private:
  StrandExecutor strand_;
  StateUpdateHandler stateUpdateHandler_;
  ViabilityUpdateHandler viabilityUpdateHandler_;
  State state_ = State::setup;
  bool viable_ = true;
};

}  // namespace platform
