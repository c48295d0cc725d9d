#pragma once

#include <cstdint>
#include <optional>

namespace fluvio {

// One sample of a transport's counters as the network monitor reports it.
struct NetworkMonitorReport {
  std::int64_t totalBytesIn = 0;
  std::int64_t totalBytesOut = 0;
  std::int64_t currentQueueBytesOut = 0;
  // Differences to the previous sample; negative when a total went backwards.
  std::int64_t currentBytesInPerSecond = 0;
  std::int64_t currentBytesOutPerSecond = 0;

  friend bool operator==(const NetworkMonitorReport&, const NetworkMonitorReport&) = default;
};

// What the network monitor tells a stream once a second, and the reset a
// connection sends after connecting.
class NetworkMonitorEvent {
 public:
  enum class Case { status, publishInsufficientBWOccured, reset };

  static NetworkMonitorEvent status(const NetworkMonitorReport& report) { return {Case::status, report}; }
  // The transport's send queue grew at every one of the last samples.
  static NetworkMonitorEvent publishInsufficientBWOccured(const NetworkMonitorReport& report) {
    return {Case::publishInsufficientBWOccured, report};
  }
  static NetworkMonitorEvent reset() { return {Case::reset, std::nullopt}; }

  Case eventCase() const noexcept { return case_; }
  // Present for status and publishInsufficientBWOccured.
  const std::optional<NetworkMonitorReport>& report() const noexcept { return report_; }

  friend bool operator==(const NetworkMonitorEvent&, const NetworkMonitorEvent&) = default;

 private:
  NetworkMonitorEvent(Case eventCase, std::optional<NetworkMonitorReport> report)
      : case_(eventCase), report_(report) {}

  Case case_;
  std::optional<NetworkMonitorReport> report_;
};

}  // namespace fluvio
