#pragma once

#include <exception>
#include <optional>
#include <string>

#include "Platform/Foundation/LocalizedError.hpp"

namespace tarvelportalbroadcast {

// Why the extension ended a broadcast on its own.
class SampleHandlerError final : public std::exception, public platform::LocalizedError {
 public:
  enum class Case { missingCredentials };

  explicit SampleHandlerError(Case errorCase) noexcept : case_(errorCase) {}

  Case errorCase() const noexcept { return case_; }
  const char* what() const noexcept override { return "missingCredentials"; }
  // The text the user sees.
  std::optional<std::string> errorDescription() const override;

  friend bool operator==(const SampleHandlerError& left, const SampleHandlerError& right) noexcept {
    return left.case_ == right.case_;
  }

 private:
  Case case_;
};

}  // namespace tarvelportalbroadcast
