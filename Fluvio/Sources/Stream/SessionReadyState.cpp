#include "Fluvio/Sources/Stream/SessionReadyState.hpp"

namespace fluvio {

template <>
std::optional<SessionReadyState> fromRawValue<SessionReadyState>(int raw) noexcept {
  if (raw < rawValue(SessionReadyState::connecting) || raw > rawValue(SessionReadyState::closed)) {
    return std::nullopt;
  }
  return static_cast<SessionReadyState>(raw);
}

}  // namespace fluvio
