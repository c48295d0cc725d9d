#include <gtest/gtest.h>

#include <asio/experimental/concurrent_channel.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "Fluvio/Sources/Network/NetworkMonitor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace fluvio;
using platform::Async;
using platform::AsyncStream;
using Case = NetworkMonitorEvent::Case;

namespace {

// Serves its reports in order, then repeats the last one.
class TableReporter : public NetworkTransportReporter, public std::enable_shared_from_this<TableReporter> {
 public:
  TableReporter(Key key, std::vector<NetworkTransportReport> rows)
      : NetworkTransportReporter(key), rows_(std::move(rows)) {}
  ~TableReporter() override { released->raise(); }

  // Raised as the last holder lets it go.
  const std::shared_ptr<platform::testing::Signal> released = std::make_shared<platform::testing::Signal>();

  Async<std::shared_ptr<NetworkMonitor>> makeNetworkMonitor() override { co_return NetworkMonitor::make(shared_from_this()); }
  Async<NetworkTransportReport> makeNetworkTransportReport() override {
    return isolated([this] { return nextRow(); });
  }

 private:
  Async<NetworkTransportReport> nextRow() { co_return rows_[std::min(served_++, rows_.size() - 1)]; }

  std::vector<NetworkTransportReport> rows_;
  std::size_t served_ = 0;
};

// A tick the test releases by hand. Waiting for it is cancellable, so a
// stopped monitor's task ends as it does on a real sleep.
class ManualTicker {
 public:
  NetworkMonitor::Tick tick() {
    return [state = state_]() -> Async<void> {
      state->arrived();
      try {
        co_await state->channel.async_receive(asio::use_awaitable);
      } catch (const std::system_error& error) {
        // Reported the way a cancelled sleep reports it.
        if (error.code() == asio::experimental::error::channel_cancelled) {
          throw std::system_error(asio::error::operation_aborted);
        }
        throw;
      }
    };
  }

  void release(int count = 1) {
    for (int index = 0; index < count; ++index) ASSERT_TRUE(state_->channel.try_send(asio::error_code{}, 0));
  }

  // Blocks until the monitor has asked for its `count`th tick, that is, until
  // every sample before it is done.
  void awaitTickRequest(int count) {
    std::unique_lock lock(state_->mutex);
    ASSERT_TRUE(state_->changed.wait_for(lock, std::chrono::seconds(5), [&] { return state_->requests >= count; }));
  }

 private:
  struct State {
    asio::experimental::concurrent_channel<void(asio::error_code, int)> channel{platform::globalExecutor(), 64};
    std::mutex mutex;
    std::condition_variable changed;
    int requests = 0;

    void arrived() {
      std::lock_guard lock(mutex);
      ++requests;
      changed.notify_all();
    }
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// A fresh event sequence (the detour through optional is for blockOn, whose
// results must be default-constructible).
AsyncStream<NetworkMonitorEvent> events(const std::shared_ptr<NetworkMonitor>& monitor) {
  return *platform::blockOn([monitor]() -> Async<std::optional<AsyncStream<NetworkMonitorEvent>>> {
    co_return co_await monitor->event();
  });
}

std::optional<NetworkMonitorEvent> next(const AsyncStream<NetworkMonitorEvent>& events) {
  return platform::blockOn([events]() -> Async<std::optional<NetworkMonitorEvent>> { co_return co_await events.next(); });
}

std::vector<NetworkTransportReport> queueRows(const std::vector<std::int64_t>& queues) {
  std::vector<NetworkTransportReport> rows;
  for (const auto queue : queues) rows.push_back({.queueBytesOut = queue, .totalBytesIn = 0, .totalBytesOut = 0});
  return rows;
}

struct MonitorFixture {
  explicit MonitorFixture(std::vector<NetworkTransportReport> rows)
      : reporter(platform::Actor::make<TableReporter>(std::move(rows))), monitor(NetworkMonitor::make(reporter, ticker.tick())) {}
  ~MonitorFixture() { platform::blockOn(monitor->stopRunning()); }

  // A sequence taken before starting, so that it sees every tick.
  AsyncStream<NetworkMonitorEvent> start() {
    auto sequence = events(monitor);
    platform::blockOn(monitor->startRunning());
    return sequence;
  }

  // The events of `count` ticks.
  std::vector<NetworkMonitorEvent> run(int count) {
    const auto sequence = start();
    ticker.release(count);
    std::vector<NetworkMonitorEvent> seen;
    for (int index = 0; index < count; ++index) {
      auto event = next(sequence);
      if (!event) break;
      seen.push_back(*event);
    }
    return seen;
  }

  ManualTicker ticker;
  std::shared_ptr<TableReporter> reporter;
  std::shared_ptr<NetworkMonitor> monitor;
};

std::vector<Case> cases(const std::vector<NetworkMonitorEvent>& events) {
  std::vector<Case> result;
  for (const auto& event : events) result.push_back(event.eventCase());
  return result;
}

}  // namespace

TEST(NetworkMonitor, InsufficientBandwidthNeedsThreeRisingQueueSamples) {
  struct Row {
    std::vector<std::int64_t> queues;
    std::vector<Case> expected;
  };
  const std::vector<Row> table{
      {{10, 20, 30, 40, 40}, {Case::status, Case::status, Case::publishInsufficientBWOccured,
                              Case::publishInsufficientBWOccured, Case::status}},
      {{10, 10, 10, 10}, {Case::status, Case::status, Case::status, Case::status}},
      {{30, 20, 10}, {Case::status, Case::status, Case::status}},
      {{10, 20, 20, 30, 40}, {Case::status, Case::status, Case::status, Case::status,
                              Case::publishInsufficientBWOccured}},
  };
  for (const auto& row : table) {
    MonitorFixture fixture(queueRows(row.queues));
    EXPECT_EQ(cases(fixture.run(static_cast<int>(row.expected.size()))), row.expected);
  }
}

TEST(NetworkMonitor, ReportsCarryTotalsAndPerSecondDifferences) {
  MonitorFixture fixture({{.queueBytesOut = 5, .totalBytesIn = 40, .totalBytesOut = 100},
                          {.queueBytesOut = 6, .totalBytesIn = 90, .totalBytesOut = 350},
                          {.queueBytesOut = 7, .totalBytesIn = 90, .totalBytesOut = 300}});
  const auto events = fixture.run(3);
  ASSERT_EQ(events.size(), 3u);
  // The first differences equal the totals; totals that went backwards give negative rates.
  EXPECT_EQ(*events[0].report(), (NetworkMonitorReport{40, 100, 5, 40, 100}));
  EXPECT_EQ(*events[1].report(), (NetworkMonitorReport{90, 350, 6, 50, 250}));
  EXPECT_EQ(*events[2].report(), (NetworkMonitorReport{90, 300, 7, 0, -50}));
  EXPECT_EQ(events[2].eventCase(), Case::publishInsufficientBWOccured);
}

TEST(NetworkMonitor, OnlyTheSequenceReadLastReceivesEvents) {
  MonitorFixture fixture(queueRows({1, 2, 3}));
  const auto first = fixture.start();
  fixture.ticker.release();
  ASSERT_TRUE(next(first));

  const auto second = events(fixture.monitor);
  EXPECT_FALSE(next(first));
  fixture.ticker.release();
  const auto event = next(second);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->report()->currentQueueBytesOut, 2);
}

TEST(NetworkMonitor, StopEndsTheSequenceAndARestartKeepsTheHistory) {
  MonitorFixture fixture({{.queueBytesOut = 10, .totalBytesIn = 0, .totalBytesOut = 100},
                          {.queueBytesOut = 20, .totalBytesIn = 0, .totalBytesOut = 200},
                          {.queueBytesOut = 30, .totalBytesIn = 0, .totalBytesOut = 300}});
  const auto before = fixture.start();
  platform::blockOn(fixture.monitor->startRunning());
  fixture.ticker.release(2);
  ASSERT_TRUE(next(before));
  ASSERT_TRUE(next(before));

  platform::blockOn(fixture.monitor->stopRunning());
  platform::blockOn(fixture.monitor->stopRunning());
  EXPECT_FALSE(platform::blockOn(fixture.monitor->isRunning()));
  EXPECT_FALSE(next(before));

  const auto after = fixture.start();
  EXPECT_TRUE(platform::blockOn(fixture.monitor->isRunning()));
  fixture.ticker.release();
  const auto event = next(after);
  ASSERT_TRUE(event);
  // Two queue samples and the previous totals were kept across the stop.
  EXPECT_EQ(event->eventCase(), Case::publishInsufficientBWOccured);
  EXPECT_EQ(event->report()->currentBytesOutPerSecond, 100);
}

TEST(NetworkMonitor, LosingTheReporterEndsTheSequenceButNotTheSampling) {
  MonitorFixture fixture(queueRows({1, 2, 3}));
  const auto sequence = fixture.start();
  fixture.ticker.release();
  ASSERT_TRUE(next(sequence));

  const auto released = fixture.reporter->released;
  fixture.reporter.reset();
  // A call still running on the reporter holds it a moment longer.
  ASSERT_TRUE(released->wait(std::chrono::seconds(5)));
  fixture.ticker.release();
  EXPECT_FALSE(next(sequence));

  const auto later = events(fixture.monitor);
  fixture.ticker.release();
  fixture.ticker.awaitTickRequest(4);
  EXPECT_TRUE(platform::blockOn(fixture.monitor->isRunning()));
  EXPECT_FALSE(next(later));
}

TEST(NetworkMonitor, ARunningMonitorLivesUntilStopped) {
  auto reporter = platform::Actor::make<TableReporter>(queueRows({1}));
  ManualTicker ticker;
  auto monitor = NetworkMonitor::make(reporter, ticker.tick());
  std::weak_ptr<NetworkMonitor> weak = monitor;
  platform::blockOn(monitor->startRunning());
  monitor.reset();
  ticker.release();
  ticker.awaitTickRequest(2);
  auto running = weak.lock();
  ASSERT_TRUE(running);
  platform::blockOn(running->stopRunning());
  running.reset();
  // The monitor's ending task lets it go on its own strand, unannounced.
  EXPECT_TRUE(platform::testing::eventually([&] { return weak.expired(); }));
}
