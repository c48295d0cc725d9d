#pragma once

#include <memory>

#include "Tracepost/Sources/TPLoggerAppender.hpp"

namespace tracepost {

// Discards every record.
class NullAppender : public TPLoggerAppender {
 public:
  static const std::shared_ptr<NullAppender>& shared() {
    static const auto instance = std::make_shared<NullAppender>();
    return instance;
  }

  void append(const TPLogger&, TPLoggerLevel, Message, std::string_view, std::string_view, int) override {}
  void append(const TPLogger&, TPLoggerLevel, std::string_view, const FormatArgument&, std::string_view,
              std::string_view, int) override {}
};

}  // namespace tracepost
