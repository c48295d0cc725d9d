#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Fluvio/Sources/Network/NetworkTransportReporter.hpp"
#include "Fluvio/Sources/Util/AsyncRunner.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace fluvio {

// Samples a transport's counters once a tick and yields a status event, or an
// insufficient-bandwidth event when the send queue grew at each of the last
// `measureInterval` samples. While running, the sampling task keeps the
// monitor alive.
class NetworkMonitor : public AsyncRunner, public std::enable_shared_from_this<NetworkMonitor> {
 public:
  class Error : public std::exception {
   public:
    // The reporter no longer exists.
    enum class Case { invalidState };

    explicit Error(Case errorCase) noexcept : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  static constexpr int measureInterval = 3;

  // The pause before each sample; it ends the sampling when the task's
  // cancellation makes it throw.
  using Tick = std::function<platform::Async<void>()>;
  // A one-second sleep.
  static Tick everySecond();

  NetworkMonitor(Key key, std::weak_ptr<NetworkTransportReporter> reporter, Tick tick);
  static std::shared_ptr<NetworkMonitor> make(const std::shared_ptr<NetworkTransportReporter>& reporter,
                                              Tick tick = everySecond());

  // A new sequence of events; the one handed out before is finished. The
  // sequence also ends when the monitor stops or loses its reporter.
  platform::Async<platform::AsyncStream<NetworkMonitorEvent>> event();

  platform::Async<bool> isRunning() const override;
  platform::Async<void> startRunning() override;
  // The byte history and the previous totals survive a stop.
  platform::Async<void> stopRunning() override;

 private:
  // Optional only because what the strand hands back must be default-constructible.
  platform::Async<std::optional<platform::AsyncStream<NetworkMonitorEvent>>> eventBody();
  platform::Async<bool> isRunningBody() const;
  platform::Async<void> startRunningBody();
  platform::Async<void> stopRunningBody();
  // False once the run that the sampling task belongs to has ended.
  platform::Async<bool> sample(std::uint64_t run);
  platform::Async<NetworkTransportReport> transportReport() const;
  NetworkMonitorEvent measure(const NetworkTransportReport& report);
  void replaceContinuation(std::optional<platform::AsyncStream<NetworkMonitorEvent>::Continuation> next);

  bool isRunning_ = false;
  std::optional<platform::Task> timer_;
  // Counts starts and stops, so a sampling task that outlived its run does nothing.
  std::uint64_t run_ = 0;
  std::int64_t previousTotalBytesIn_ = 0;
  std::int64_t previousTotalBytesOut_ = 0;
  std::deque<std::int64_t> previousQueueBytesOut_;
  std::optional<platform::AsyncStream<NetworkMonitorEvent>::Continuation> continuation_;
  std::weak_ptr<NetworkTransportReporter> reporter_;
  const Tick tick_;
};

}  // namespace fluvio
