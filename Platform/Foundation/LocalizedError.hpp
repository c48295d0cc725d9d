#pragma once

#include <exception>
#include <optional>
#include <string>

namespace platform {

// An error that carries text meant for the user. Errors derive from it
// beside std::exception; every part is optional.
class LocalizedError {
 public:
  virtual ~LocalizedError() = default;

  virtual std::optional<std::string> errorDescription() const { return std::nullopt; }
  virtual std::optional<std::string> failureReason() const { return std::nullopt; }
  virtual std::optional<std::string> recoverySuggestion() const { return std::nullopt; }
  virtual std::optional<std::string> helpAnchor() const { return std::nullopt; }
};

// The text to show for any error: a localised error's description when it
// has one, else what() of the exception.
std::string localizedDescription(const std::exception& error);

}  // namespace platform
