#pragma once

#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFArray.hpp"
#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"
#include "RTMPFluvio/Sources/AMF/AMFScalars.hpp"
#include "RTMPFluvio/Sources/AMF/AMFTypedObject.hpp"

namespace rtmpfluvio {

using AMFList = std::vector<AMFValue>;

// One dynamically typed AMF value. A default value is AMFNull. Integers of
// every width are held as one signed 64-bit integer (an unsigned 64-bit value
// beyond its range as the nearest double), floating-point numbers as double;
// the writers send both as numbers. Equality is structural: the kinds must
// match, then the contents.
class AMFValue {
 public:
  using Storage = std::variant<AMFNull, AMFUndefined, bool, std::int64_t, double, std::string, AMFDate, AMFList,
                               AMFObject, AMFArray, AMFTypedObject, AMFXMLDocument, AMFXML, AMFByteArray,
                               std::vector<std::int32_t>, std::vector<std::uint32_t>, std::vector<double>>;

  AMFValue() noexcept = default;
  AMFValue(AMFNull) noexcept {}
  AMFValue(AMFUndefined value) noexcept : storage_(value) {}
  AMFValue(bool value) noexcept : storage_(value) {}
  template <std::integral Integer>
    requires(!std::same_as<Integer, bool>)
  AMFValue(Integer value) noexcept : storage_(integerStorage(value)) {}
  template <std::floating_point Float>
  AMFValue(Float value) noexcept : storage_(static_cast<double>(value)) {}
  AMFValue(const char* text) : storage_(std::in_place_type<std::string>, text) {}
  AMFValue(std::string_view text) : storage_(std::in_place_type<std::string>, text) {}
  AMFValue(std::string text) noexcept : storage_(std::move(text)) {}
  AMFValue(AMFDate value) noexcept : storage_(value) {}
  AMFValue(AMFList value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFObject value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFArray value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFTypedObject value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFXMLDocument value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFXML value) noexcept : storage_(std::move(value)) {}
  AMFValue(AMFByteArray value) noexcept : storage_(std::move(value)) {}
  AMFValue(std::vector<std::int32_t> value) noexcept : storage_(std::move(value)) {}
  AMFValue(std::vector<std::uint32_t> value) noexcept : storage_(std::move(value)) {}
  AMFValue(std::vector<double> value) noexcept : storage_(std::move(value)) {}

  template <class Kind>
  bool is() const noexcept {
    return std::holds_alternative<Kind>(storage_);
  }
  // The value as `Kind`, or nullptr when it is of another kind.
  template <class Kind>
  const Kind* as() const noexcept {
    return std::get_if<Kind>(&storage_);
  }
  template <class Kind>
  Kind* as() noexcept {
    return std::get_if<Kind>(&storage_);
  }
  bool isNull() const noexcept { return is<AMFNull>(); }

  const Storage& storage() const noexcept { return storage_; }

  bool operator==(const AMFValue& other) const { return storage_ == other.storage_; }

 private:
  template <class Integer>
  static Storage integerStorage(Integer value) noexcept {
    if constexpr (std::is_unsigned_v<Integer> && sizeof(Integer) >= sizeof(std::int64_t)) {
      if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<double>(value);
      }
    }
    return static_cast<std::int64_t>(value);
  }

  Storage storage_;
};

// Readable renderings for logs and debugging; nothing parses them.
std::ostream& operator<<(std::ostream& stream, const AMFValue& value);
std::ostream& operator<<(std::ostream& stream, const AMFList& list);
std::ostream& operator<<(std::ostream& stream, const AMFObject& object);

template <class Make>
void AMFObject::setMade(std::string_view key, Make&& make) {
  const std::uint64_t bit = keyBit(key);
  Entry* slot = body_ != nullptr && (body_->keyBits & bit) == 0 && body_->size < body_->capacity
                    ? body_->entries() + body_->size
                    : nullptr;
  if (slot == nullptr) {
    // The key may be present, or the room full, or the object still empty.
    if (AMFValue* present = body_ != nullptr ? find(key) : nullptr) {
      *present = make();
      return;
    }
    slot = freeSlot();
  }
  // Converting to the value calls `make`, whose result the entry's
  // construction takes without a move.
  struct Made {
    Make& make;
    [[gnu::always_inline]] operator AMFValue() const { return make(); }
  };
  new (slot) Entry(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple(Made{make}));
  countAdded(bit);
}

}  // namespace rtmpfluvio
