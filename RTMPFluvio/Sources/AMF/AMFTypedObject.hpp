#pragma once

#include <string>

#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

namespace rtmpfluvio {

// An object that names its class; the readers produce it, the writers send
// it as undefined.
struct AMFTypedObject {
  std::string typeName;
  AMFObject data;

  bool operator==(const AMFTypedObject&) const = default;
};

}  // namespace rtmpfluvio
