#include "Fluvio/Sources/Stream/StreamReadyState.hpp"

namespace fluvio {

template <>
std::optional<StreamReadyState> fromRawValue<StreamReadyState>(int raw) noexcept {
  if (raw < rawValue(StreamReadyState::idle) || raw > rawValue(StreamReadyState::publishing)) {
    return std::nullopt;
  }
  return static_cast<StreamReadyState>(raw);
}

}  // namespace fluvio
