#pragma once

#include <memory>

#include "Tracepost/Sources/TextAppender.hpp"

namespace tracepost {

// Prints each record as one line on standard output.
class ConsoleAppender : public TextAppender {
 public:
  static std::shared_ptr<ConsoleAppender> make() { return std::make_shared<ConsoleAppender>(); }

 protected:
  void write(const TPLogger& logger, TPLoggerLevel level, std::string_view file, std::string_view function, int line,
             std::string_view message) override;
};

}  // namespace tracepost
