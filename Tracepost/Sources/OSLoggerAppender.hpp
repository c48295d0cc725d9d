#pragma once

#include <memory>
#include <string>

#include "Platform/OSLog/OSLog.hpp"
#include "Tracepost/Sources/TextAppender.hpp"

namespace tracepost {

// Writes each record to the system log: trace and debug as debug entries,
// info as info, warn and error as error entries; nothing for a type the
// system log has disabled.
class OSLoggerAppender : public TextAppender {
 public:
  static std::shared_ptr<OSLoggerAppender> make(std::string sybsystem, std::string category) {
    return std::make_shared<OSLoggerAppender>(std::move(sybsystem), std::move(category));
  }
  OSLoggerAppender(std::string sybsystem, std::string category);

 protected:
  bool takes(TPLoggerLevel level) const override;
  void write(const TPLogger& logger, TPLoggerLevel level, std::string_view file, std::string_view function, int line,
             std::string_view message) override;

 private:
  platform::OSLog log_;
};

}  // namespace tracepost
