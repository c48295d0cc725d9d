#include "RTMPFluvio/Sources/AMF/AMFSerializerError.hpp"

namespace rtmpfluvio {

const char* AMFSerializerError::what() const noexcept {
  switch (case_) {
    case Case::deserialize:
      return "AMFSerializerError.deserialize";
    case Case::outOfIndex:
      return "AMFSerializerError.outOfIndex";
    case Case::serialize:
      return "AMFSerializerError.serialize";
  }
  return "AMFSerializerError";
}

}  // namespace rtmpfluvio
