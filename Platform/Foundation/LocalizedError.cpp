#include "Platform/Foundation/LocalizedError.hpp"

namespace platform {

std::string localizedDescription(const std::exception& error) {
  if (const auto* localized = dynamic_cast<const LocalizedError*>(&error)) {
    if (auto description = localized->errorDescription()) return std::move(*description);
  }
  return error.what();
}

}  // namespace platform
