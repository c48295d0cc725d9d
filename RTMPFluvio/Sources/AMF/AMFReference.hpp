#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {

// The layout of an AMF3 object: its class name (empty for an anonymous
// object), the names of its sealed members and whether dynamic members follow.
struct AMFTraits {
  std::string className;
  std::vector<std::string> sealedNames;
  bool isDynamic = false;

  bool operator==(const AMFTraits&) const = default;
};

// The AMF3 reference tables. A reference on the wire is an index into one of
// them. The writer adds a value only when it does not find it; the reader adds
// every value it reads inline, in the order of their markers.
class AMFReference {
 public:
  std::vector<std::string> strings;
  std::vector<AMFValue> objects;
  std::vector<AMFTraits> traits;

  // The first index holding an equal entry.
  std::optional<std::size_t> indexOfString(std::string_view text) const;
  std::optional<std::size_t> indexOfObject(const AMFValue& value) const;
  std::optional<std::size_t> indexOfTraits(const AMFTraits& value) const;
};

}  // namespace rtmpfluvio
