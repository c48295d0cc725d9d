#pragma once

#include <string>

namespace platform {

// Where a script runs. Every world shares the page's document, but each has
// its own globals: page script cannot see or call what a named world defines,
// including the message handlers registered there.
struct WKContentWorld {
  std::string name;  // empty: the page's own world

  static WKContentWorld page() { return {}; }
  static WKContentWorld world(std::string name) { return {std::move(name)}; }
  bool isPage() const noexcept { return name.empty(); }

  friend bool operator==(const WKContentWorld&, const WKContentWorld&) = default;
};

}  // namespace platform
