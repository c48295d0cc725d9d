#include "Fluvio/Sources/Util/Mirror.hpp"

namespace fluvio {

std::string Mirror::debugDescription() const {
  std::string text = subjectType_ + "{";
  bool first = true;
  for (const auto* children : {&superclassChildren_, &children_}) {
    for (const auto& child : *children) {
      if (!child.label) continue;
      if (!first) text += ",";
      first = false;
      text += *child.label + ": " + child.value;
    }
  }
  return text + "}";
}

}  // namespace fluvio
