#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace rtmpfluvio {

// The AMF null: the value of an entry that is present but holds nothing.
struct AMFNull {
  bool operator==(const AMFNull&) const = default;
};

struct AMFUndefined {
  bool operator==(const AMFUndefined&) const = default;
  std::string description() const { return "undefined"; }
};

inline constexpr AMFUndefined kAMFUndefined{};

// XML source text, carried as the XML document type of AMF0 and AMF3.
struct AMFXMLDocument {
  std::string data;
  bool operator==(const AMFXMLDocument&) const = default;
  const std::string& description() const noexcept { return data; }
};

// XML source text, carried as the XML type of AMF3.
struct AMFXML {
  std::string data;
  bool operator==(const AMFXML&) const = default;
  const std::string& description() const noexcept { return data; }
};

// An instant as milliseconds since 1970-01-01 00:00:00 UTC, held as the
// double that the wire carries, so that every received date survives.
using AMFDate = std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<double, std::milli>>;

using AMFByteArray = std::vector<std::uint8_t>;

}  // namespace rtmpfluvio
