#pragma once

#include <nlohmann/json.hpp>

namespace fluvio {

// A transport's own session options, passed through the session layer as they are.
class SessionConfiguration {
 public:
  virtual ~SessionConfiguration() = default;

  // Keys are the configuration's field names.
  virtual nlohmann::json encoded() const = 0;
};

inline void to_json(nlohmann::json& json, const SessionConfiguration& configuration) {
  json = configuration.encoded();
}

}  // namespace fluvio
