#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

namespace rtmpfluvio {

// The AMF ECMA array: a dense part indexed from 0 and an associative part.
// Keys that read as indices address the dense part, except negative ones and
// ones so far past its end that honouring them would mean filling a huge gap;
// those live in the associative part under their decimal form.
class AMFArray {
 public:
  // How many undefined elements an index past the dense end may fill in.
  static constexpr std::int64_t kMaxDenseGap = 1024;

  AMFArray();
  // `count` undefined elements.
  explicit AMFArray(std::size_t count);
  explicit AMFArray(std::vector<AMFValue> data);
  AMFArray(std::initializer_list<AMFValue> elements);
  AMFArray(const AMFArray&);
  AMFArray(AMFArray&&) noexcept;
  AMFArray& operator=(const AMFArray&);
  AMFArray& operator=(AMFArray&&) noexcept;
  ~AMFArray();

  std::size_t length() const noexcept;

  // The element under an index or key; undefined for an index past the dense
  // end that the associative part does not hold either; nullptr for a
  // missing associative key.
  const AMFValue* get(std::int64_t index) const;
  const AMFValue* get(std::string_view key) const;
  // An index whose gap to the dense end is wider than `maxGap` goes to the
  // associative part.
  void set(std::int64_t index, AMFValue value, std::int64_t maxGap = kMaxDenseGap);
  void set(std::string_view key, AMFValue&& value, std::int64_t maxGap = kMaxDenseGap);
  void set(std::string_view key, const AMFValue& value, std::int64_t maxGap = kMaxDenseGap);

  // Whether `key` reads as an index, rather than naming an associative
  // entry, whatever its place. Most keys are names, which their first
  // character settles inline.
  static bool readsAsIndex(std::string_view key) {
    if (key.empty()) return false;
    const char first = key.front();
    return ((first >= '0' && first <= '9') || first == '+' || first == '-') && parsesAsIndex(key);
  }

  std::string debugDescription() const;
  bool operator==(const AMFArray& other) const;

  std::vector<AMFValue> data;
  AMFObject dict;

 private:
  static bool parsesAsIndex(std::string_view key);
};

}  // namespace rtmpfluvio
