#include "RTMPFluvio/Sources/AMF/AMFReference.hpp"

#include <algorithm>

namespace rtmpfluvio {

namespace {

template <class Entry, class Wanted>
std::optional<std::size_t> firstIndex(const std::vector<Entry>& table, const Wanted& wanted) {
  const auto found = std::find(table.begin(), table.end(), wanted);
  if (found == table.end()) return std::nullopt;
  return static_cast<std::size_t>(found - table.begin());
}

}  // namespace

std::optional<std::size_t> AMFReference::indexOfString(std::string_view text) const { return firstIndex(strings, text); }

std::optional<std::size_t> AMFReference::indexOfObject(const AMFValue& value) const {
  return firstIndex(objects, value);
}

std::optional<std::size_t> AMFReference::indexOfTraits(const AMFTraits& value) const {
  return firstIndex(traits, value);
}

}  // namespace rtmpfluvio
