#include "RTMPFluvio/Sources/AMF/AMFArray.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <sstream>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {

namespace {

const AMFValue kUndefinedValue{kAMFUndefined};

// A decimal integer with an optional sign and nothing else, within the
// signed 64-bit range.
std::optional<std::int64_t> indexOf(std::string_view key) {
  // Most keys are names: their first character settles it.
  const auto isDigit = [](char character) { return character >= '0' && character <= '9'; };
  if (key.empty() || !(isDigit(key.front()) || key.front() == '+' || key.front() == '-')) return std::nullopt;
  std::string_view digits = key;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '+' || negative)) digits.remove_prefix(1);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return std::nullopt;
  // Parsing the sign with the digits keeps the most negative value in range.
  const std::string_view number = negative ? key.substr(key.size() - digits.size() - 1) : digits;
  std::int64_t index = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return index;
}

}  // namespace

AMFArray::AMFArray() = default;
AMFArray::AMFArray(std::size_t count) : data(count, AMFValue(kAMFUndefined)) {}
AMFArray::AMFArray(std::vector<AMFValue> data) : data(std::move(data)) {}
AMFArray::AMFArray(std::initializer_list<AMFValue> elements) : data(elements) {}
AMFArray::AMFArray(const AMFArray&) = default;
AMFArray::AMFArray(AMFArray&&) noexcept = default;
AMFArray& AMFArray::operator=(const AMFArray&) = default;
AMFArray& AMFArray::operator=(AMFArray&&) noexcept = default;
AMFArray::~AMFArray() = default;

std::size_t AMFArray::length() const noexcept { return data.size(); }

const AMFValue* AMFArray::get(std::int64_t index) const {
  if (index >= 0 && static_cast<std::uint64_t>(index) < data.size()) return &data[static_cast<std::size_t>(index)];
  const AMFValue* associative = dict.find(std::to_string(index));
  return associative != nullptr ? associative : &kUndefinedValue;
}

const AMFValue* AMFArray::get(std::string_view key) const {
  if (const auto index = indexOf(key)) return get(*index);
  return dict.find(key);
}

void AMFArray::set(std::int64_t index, AMFValue value, std::int64_t maxGap) {
  const auto denseEnd = static_cast<std::int64_t>(data.size());
  if (index < 0 || (index > denseEnd && index - denseEnd > maxGap)) {
    dict.set(std::to_string(index), std::move(value));
    return;
  }
  if (index >= denseEnd) data.resize(static_cast<std::size_t>(index) + 1, AMFValue(kAMFUndefined));
  data[static_cast<std::size_t>(index)] = std::move(value);
}

void AMFArray::set(std::string_view key, const AMFValue& value, std::int64_t maxGap) {
  set(key, AMFValue(value), maxGap);
}

void AMFArray::set(std::string_view key, AMFValue&& value, std::int64_t maxGap) {
  if (const auto index = indexOf(key)) {
    set(*index, std::move(value), maxGap);
  } else {
    dict.set(key, std::move(value));
  }
}

bool AMFArray::parsesAsIndex(std::string_view key) { return indexOf(key).has_value(); }

std::string AMFArray::debugDescription() const {
  std::ostringstream stream;
  stream << data << ':' << dict;
  return stream.str();
}

bool AMFArray::operator==(const AMFArray& other) const { return data == other.data && dict == other.dict; }

}  // namespace rtmpfluvio
