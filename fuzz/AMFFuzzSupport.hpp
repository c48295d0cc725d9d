#pragma once

#include <exception>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

// Every value the serialiser reads before its bytes end or a read fails.
template <class Serializer>
std::vector<rtmpfluvio::AMFValue> readAll(Serializer& serializer) {
  std::vector<rtmpfluvio::AMFValue> values;
  try {
    while (serializer.bytesAvailable() > 0) values.push_back(serializer.deserialize());
  } catch (const std::exception&) {
  }
  return values;
}
