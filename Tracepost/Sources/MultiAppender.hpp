#pragma once

#include <memory>
#include <vector>

#include "Tracepost/Sources/TPLoggerAppender.hpp"

namespace tracepost {

// Hands every record to each of its appenders, in list order. The list is set
// up before logging starts.
class MultiAppender : public TPLoggerAppender {
 public:
  static std::shared_ptr<MultiAppender> make() { return std::make_shared<MultiAppender>(); }

  std::vector<std::shared_ptr<TPLoggerAppender>>& appenders() noexcept { return appenders_; }
  const std::vector<std::shared_ptr<TPLoggerAppender>>& appenders() const noexcept { return appenders_; }
  void setAppenders(std::vector<std::shared_ptr<TPLoggerAppender>> appenders) { appenders_ = std::move(appenders); }

  void append(const TPLogger& logger, TPLoggerLevel level, Message message, std::string_view file,
              std::string_view function, int line) override;
  void append(const TPLogger& logger, TPLoggerLevel level, std::string_view format, const FormatArgument& arguments,
              std::string_view file, std::string_view function, int line) override;

 private:
  // Walks the list as it stands when the record arrives: members added while
  // the fan-out runs are not called for this record.
  template <class Call>
  void forEachMember(const Call& call) const {
    const std::size_t count = appenders_.size();
    for (std::size_t index = 0; index < count && index < appenders_.size(); ++index) {
      if (const auto member = appenders_[index]) call(*member);
    }
  }

  std::vector<std::shared_ptr<TPLoggerAppender>> appenders_;
};

}  // namespace tracepost
