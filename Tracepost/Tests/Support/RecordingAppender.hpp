#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "Tracepost/Sources/LogClock.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace tracepost::testing {

// Keeps every record it receives, as text.
class RecordingAppender : public TPLoggerAppender {
 public:
  struct Record {
    TPLoggerLevel level;
    std::string message;
    std::string file;
    std::string function;
    int line;
  };

  void append(const TPLogger&, TPLoggerLevel level, Message message, std::string_view file,
              std::string_view function, int line) override {
    keep({level, messageText(message), std::string(file), std::string(function), line});
  }
  void append(const TPLogger&, TPLoggerLevel level, std::string_view format, const FormatArgument& arguments,
              std::string_view file, std::string_view function, int line) override {
    keep({level, arguments.format(format), std::string(file), std::string(function), line});
  }

  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  void keep(Record record) {
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
  }

  mutable std::mutex mutex_;
  std::vector<Record> records_;
};

// 2024-03-17 14:07:09.042 UTC.
inline LogClock::Date fixedNow() {
  using namespace std::chrono;
  return sys_days(year(2024) / 3 / 17) + hours(14) + minutes(7) + seconds(9) + milliseconds(42);
}

// Fixes the clock and the time zone (UTC) for byte-exact lines.
class FixedClock {
 public:
  FixedClock() {
    setenv("TZ", "UTC0", 1);
    tzset();
    LogClock::setSource(&fixedNow);
  }
  ~FixedClock() { LogClock::setSource(nullptr); }
};

}  // namespace tracepost::testing
