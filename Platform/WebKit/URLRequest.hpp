#pragma once

#include <chrono>
#include <string>

namespace platform {

// A page request: the absolute URL and how long the load may take.
struct URLRequest {
  std::string url;
  std::chrono::seconds timeoutInterval{60};

  friend bool operator==(const URLRequest&, const URLRequest&) = default;
};

}  // namespace platform
