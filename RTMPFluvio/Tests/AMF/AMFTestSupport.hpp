#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes concatenated(std::initializer_list<Bytes> parts) {
  Bytes result;
  for (const Bytes& part : parts) result.insert(result.end(), part.begin(), part.end());
  return result;
}

template <class Serializer>
Bytes written(const AMFValue& value) {
  Serializer serializer;
  serializer.serialize(value);
  return serializer.data();
}

template <class Serializer>
AMFValue read(Bytes bytes) {
  Serializer serializer(std::move(bytes));
  return serializer.deserialize();
}

// The what() of the exception `body` throws, or "no error".
template <class Body>
std::string errorOf(Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

// Reading every proper prefix of a valid encoding fails with an error and
// never reads out of bounds.
template <class Serializer>
void expectEveryTruncationFails(const Bytes& encoding) {
  for (std::size_t length = 0; length < encoding.size(); ++length) {
    Serializer serializer(Bytes(encoding.begin(), encoding.begin() + static_cast<std::ptrdiff_t>(length)));
    bool failed = false;
    try {
      serializer.deserialize();
    } catch (const std::exception&) {
      failed = true;
    }
    // A cut inside trailing bytes that are skipped unexamined may still read.
    if (!failed) {
      EXPECT_LT(serializer.bytesAvailable(), 0) << "prefix of " << length << " bytes";
    }
  }
}

}  // namespace rtmpfluvio::testing
