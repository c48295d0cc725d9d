#include "Fluvio/Sources/Network/NetworkMonitor.hpp"

#include <chrono>
#include <utility>

#include "Platform/Concurrency/Sleep.hpp"

namespace fluvio {

const char* NetworkMonitor::Error::what() const noexcept { return "NetworkMonitor.Error.invalidState"; }

NetworkMonitor::Tick NetworkMonitor::everySecond() {
  return [] { return platform::sleepFor(std::chrono::seconds(1)); };
}

std::shared_ptr<NetworkMonitor> NetworkMonitor::make(const std::shared_ptr<NetworkTransportReporter>& reporter,
                                                     Tick tick) {
  return Actor::make<NetworkMonitor>(reporter, std::move(tick));
}

NetworkMonitor::NetworkMonitor(Key key, std::weak_ptr<NetworkTransportReporter> reporter, Tick tick)
    : AsyncRunner(key), reporter_(std::move(reporter)), tick_(std::move(tick)) {}

platform::Async<platform::AsyncStream<NetworkMonitorEvent>> NetworkMonitor::event() {
  co_return std::move(*co_await isolated([this] { return eventBody(); }));
}

platform::Async<bool> NetworkMonitor::isRunning() const {
  return isolated([this] { return isRunningBody(); });
}
platform::Async<void> NetworkMonitor::startRunning() {
  return isolated([this] { return startRunningBody(); });
}
platform::Async<void> NetworkMonitor::stopRunning() {
  return isolated([this] { return stopRunningBody(); });
}

platform::Async<std::optional<platform::AsyncStream<NetworkMonitorEvent>>> NetworkMonitor::eventBody() {
  auto [stream, continuation] = platform::AsyncStream<NetworkMonitorEvent>::makeStream();
  replaceContinuation(std::move(continuation));
  co_return std::move(stream);
}

platform::Async<bool> NetworkMonitor::isRunningBody() const { co_return isRunning_; }

platform::Async<void> NetworkMonitor::startRunningBody() {
  if (isRunning_) co_return;
  isRunning_ = true;
  const auto run = ++run_;
  timer_ = platform::spawn(
      strand(),
      [self = shared_from_this(), run]() -> platform::Async<void> {
        // Ends with the cancelled sleep, or as soon as its run is over.
        do {
          co_await self->tick_();
          // A plain pointer: g++ frees the captures of a lambda made inside a
          // co_await twice, and `self` already holds the monitor.
        } while (co_await self->isolated([monitor = self.get(), run] { return monitor->sample(run); }));
      },
      "NetworkMonitor");
}

platform::Async<void> NetworkMonitor::stopRunningBody() {
  if (!isRunning_) co_return;
  isRunning_ = false;
  ++run_;
  timer_->cancel();
  timer_.reset();
  replaceContinuation(std::nullopt);
}

platform::Async<bool> NetworkMonitor::sample(std::uint64_t run) {
  if (run != run_) co_return false;
  NetworkTransportReport report;
  try {
    report = co_await transportReport();
  } catch (const Error&) {
    replaceContinuation(std::nullopt);
    co_return true;
  }
  // The reporter was awaited: a stop or a restart may have come meanwhile.
  if (run != run_) co_return false;
  const auto event = measure(report);
  if (continuation_) continuation_->yield(event);
  co_return true;
}

platform::Async<NetworkTransportReport> NetworkMonitor::transportReport() const {
  const auto reporter = reporter_.lock();
  if (!reporter) throw Error(Error::Case::invalidState);
  co_return co_await reporter->makeNetworkTransportReport();
}

namespace {

// Wraps instead of overflowing when a total jumps by more than 63 bits.
std::int64_t difference(std::int64_t total, std::int64_t previous) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(total) - static_cast<std::uint64_t>(previous));
}

}  // namespace

NetworkMonitorEvent NetworkMonitor::measure(const NetworkTransportReport& report) {
  const NetworkMonitorReport monitorReport{
      .totalBytesIn = report.totalBytesIn,
      .totalBytesOut = report.totalBytesOut,
      .currentQueueBytesOut = report.queueBytesOut,
      .currentBytesInPerSecond = difference(report.totalBytesIn, previousTotalBytesIn_),
      .currentBytesOutPerSecond = difference(report.totalBytesOut, previousTotalBytesOut_),
  };
  previousTotalBytesIn_ = report.totalBytesIn;
  previousTotalBytesOut_ = report.totalBytesOut;

  previousQueueBytesOut_.push_back(report.queueBytesOut);
  bool insufficient = false;
  if (previousQueueBytesOut_.size() >= static_cast<std::size_t>(measureInterval)) {
    int rises = 0;
    for (std::size_t index = 1; index < previousQueueBytesOut_.size(); ++index) {
      if (previousQueueBytesOut_[index] > previousQueueBytesOut_[index - 1]) ++rises;
    }
    insufficient = rises == measureInterval - 1;
    previousQueueBytesOut_.pop_front();
  }
  return insufficient ? NetworkMonitorEvent::publishInsufficientBWOccured(monitorReport)
                      : NetworkMonitorEvent::status(monitorReport);
}

void NetworkMonitor::replaceContinuation(
    std::optional<platform::AsyncStream<NetworkMonitorEvent>::Continuation> next) {
  if (continuation_) continuation_->finish();
  continuation_ = std::move(next);
}

}  // namespace fluvio
