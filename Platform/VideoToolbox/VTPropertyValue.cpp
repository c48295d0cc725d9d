#include "Platform/VideoToolbox/VTPropertyValue.hpp"

namespace platform {

std::optional<double> VTPropertyValue::number() const noexcept {
  if (const auto* integer = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*integer);
  if (const auto* real = std::get_if<double>(&storage_)) return *real;
  return std::nullopt;
}

std::optional<bool> VTPropertyValue::flag() const noexcept {
  if (const auto* value = std::get_if<bool>(&storage_)) return *value;
  if (const auto value = number()) return *value != 0;
  return std::nullopt;
}

}  // namespace platform
