#include "RTMPFluvio/Sources/RTMP/RTMPURL.hpp"

namespace rtmpfluvio {
namespace {

// The root "/" and the application name come first.
constexpr std::size_t kLeadingComponents = 2;

}  // namespace

std::string RTMPURL::streamName() const {
  const auto components = url_.pathComponents();
  if (components.size() <= kLeadingComponents) return {};
  std::string name;
  for (std::size_t index = kLeadingComponents; index < components.size(); ++index) {
    if (!name.empty()) name.push_back('/');
    name += components[index];
  }
  if (const auto query = url_.query()) name += "?" + *query;
  return name;
}

platform::URL RTMPURL::commandURL() const {
  const auto components = url_.pathComponents();
  if (components.size() < kLeadingComponents) return url_.replacingPath("");
  return url_.replacingPath("/" + components[1]);
}

}  // namespace rtmpfluvio
