#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace rtmpfluvio {

namespace {

enum Marker : std::uint8_t {
  number = 0x00,
  boolean = 0x01,
  string = 0x02,
  object = 0x03,
  null = 0x05,
  undefined = 0x06,
  reference = 0x07,
  ecmaArray = 0x08,
  objectEnd = 0x09,
  strictArray = 0x0A,
  date = 0x0B,
  longString = 0x0C,
  xmlDocument = 0x0F,
  typedObject = 0x10,
  avmPlus = 0x11,
};

constexpr std::size_t kMaxShortString = 0xFFFF;
// The shortest entry of an object or ECMA array: a one-byte key and a marker.
constexpr std::size_t kMinimumEntrySize = 4;

[[noreturn]] void refuse() { throw AMFSerializerError(AMFSerializerError::Case::serialize); }

// The low `Size` bytes of `value`, most significant first, stored at once.
template <std::size_t Size>
std::uint8_t* storeBigEndian(std::uint8_t* out, std::uint64_t value) noexcept {
  value <<= 8 * (sizeof value - Size);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  std::memcpy(out, &value, Size);
  return out + Size;
}

std::uint8_t* storeText(std::uint8_t* out, std::string_view text) noexcept {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// The AMF0 layout of every value we write, appended to the bytes. Each value
// claims room for what it stores before its nested values, stores through a
// local pointer and moves the end once; what the format cannot carry is
// refused before any of its bytes are stored, and the caller cuts off what
// earlier values of the same write stored.
class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& bytes) noexcept
      : bytes_(&bytes), out_(bytes.data() + bytes.size()), end_(out_) {}

  std::size_t written() const noexcept { return static_cast<std::size_t>(out_ - bytes_->data()); }

  void utf8(std::string_view text, bool isLong) {
    if (isLong) {
      if (text.size() > std::numeric_limits<std::uint32_t>::max()) refuse();
      out_ = storeText(storeBigEndian<4>(room(4 + text.size()), text.size()), text);
    } else {
      if (text.size() > kMaxShortString) refuse();
      out_ = storeText(storeBigEndian<2>(room(2 + text.size()), text.size()), text);
    }
  }

  void string(std::string_view text) {
    const bool isLong = text.size() > kMaxShortString;
    if (isLong && text.size() > std::numeric_limits<std::uint32_t>::max()) refuse();
    std::uint8_t* out = room(5 + text.size());
    *out++ = isLong ? longString : Marker::string;
    out = isLong ? storeBigEndian<4>(out, text.size()) : storeBigEndian<2>(out, text.size());
    out_ = storeText(out, text);
  }

  void object(const AMFObject& object) {
    marker(Marker::object);
    entries(object);
  }

  // The scalars that commands and metadata carry are tested inline, most
  // common first, so that a container's loop writes them without a call;
  // a call through the variant's table costs more than the tests.
  [[gnu::always_inline]] void value(const AMFValue& value) {
    if (const auto* text = value.as<std::string>()) return string(*text);
    if (const auto* number = value.as<double>()) return write(*number);
    if (const auto* integer = value.as<std::int64_t>()) return write(*integer);
    if (const auto* flag = value.as<bool>()) return write(*flag);
    other(value);
  }

 private:
  // Room for a usual command body at once, so that building one seldom
  // regrows.
  static constexpr std::size_t kInitialRoom = 512;

  // Where the next `count` bytes go; the caller moves the end past them.
  std::uint8_t* room(std::size_t count) {
    if (static_cast<std::size_t>(end_ - out_) < count) grow(count);
    return out_;
  }
  [[gnu::noinline]] void grow(std::size_t count) {
    const std::size_t used = written();
    bytes_->resize(std::max({used + count, bytes_->capacity(), kInitialRoom}));
    out_ = bytes_->data() + used;
    end_ = bytes_->data() + bytes_->size();
  }

  [[gnu::noinline]] void other(const AMFValue& value) {
    if (const auto* entries = value.as<AMFObject>()) return object(*entries);
    std::visit([this](const auto& kind) { this->write(kind); }, value.storage());
  }

  // An empty key would end the container early, so it is refused too.
  void key(std::string_view key) {
    if (key.empty()) refuse();
    utf8(key, false);
  }

  // Each key and value, then the empty key and the object-end marker.
  void entries(const AMFObject& entries) {
    for (const auto& [name, element] : entries) {
      key(name);
      value(element);
    }
    std::uint8_t* out = room(3);
    out[0] = 0;
    out[1] = 0;
    out[2] = objectEnd;
    out_ = out + 3;
  }

  // A marker and a count of the elements that follow.
  void counted(Marker marker, std::size_t count) {
    if (count > std::numeric_limits<std::uint32_t>::max()) refuse();
    std::uint8_t* out = room(5);
    *out++ = marker;
    out_ = storeBigEndian<4>(out, count);
  }

  void marker(Marker marker) {
    *room(1) = marker;
    ++out_;
  }

  void write(AMFNull) { marker(null); }
  void write(bool value) {
    std::uint8_t* out = room(2);
    out[0] = boolean;
    out[1] = value ? 1 : 0;
    out_ = out + 2;
  }
  void write(std::int64_t value) { write(static_cast<double>(value)); }
  void write(double value) {
    std::uint8_t* out = room(9);
    *out++ = number;
    out_ = storeBigEndian<8>(out, std::bit_cast<std::uint64_t>(value));
  }
  void write(AMFDate value) {
    std::uint8_t* out = room(11);
    *out++ = date;
    out = storeBigEndian<8>(out, std::bit_cast<std::uint64_t>(value.time_since_epoch().count()));
    out_ = storeBigEndian<2>(out, 0);
  }
  void write(const std::string& value) { string(value); }
  void write(const AMFList& list) {
    counted(strictArray, list.size());
    for (const AMFValue& element : list) value(element);
  }
  void write(const AMFArray& array) {
    counted(ecmaArray, array.length());
    for (std::size_t index = 0; index < array.length(); ++index) {
      char digits[std::numeric_limits<std::size_t>::digits10 + 1];
      const auto end = std::to_chars(std::begin(digits), std::end(digits), index).ptr;
      key(std::string_view(digits, static_cast<std::size_t>(end - digits)));
      value(array.data[index]);
    }
    entries(array.dict);
  }
  void write(const AMFObject& value) { object(value); }
  // Kinds AMF0 has no form of.
  template <class Other>
  void write(const Other&) {
    marker(undefined);
  }

  std::vector<std::uint8_t>* bytes_;
  std::uint8_t* out_;
  std::uint8_t* end_;
};

}  // namespace

template <class Write>
void AMF0Serializer::put(const Write& write) {
  if (position() != length()) {
    // Overwriting within the bytes: nothing may change before the value is
    // known to fit the format, so it is written aside first.
    std::vector<std::uint8_t> aside;
    Writer writer(aside);
    write(writer);
    aside.resize(writer.written());
    writeBytes(aside);
    return;
  }
  std::vector<std::uint8_t>& bytes = storage();
  const std::size_t start = bytes.size();
  Writer writer(bytes);
  try {
    write(writer);
  } catch (...) {
    bytes.resize(start);
    throw;
  }
  bytes.resize(writer.written());
  setPosition(bytes.size());
}

AMF0Serializer& AMF0Serializer::serializeUTF8(std::string_view text, bool isLong) {
  put([&](auto& writer) { writer.utf8(text, isLong); });
  return *this;
}

AMF0Serializer& AMF0Serializer::serializeString(std::string_view text) {
  put([&](auto& writer) { writer.string(text); });
  return *this;
}

AMF0Serializer& AMF0Serializer::serializeEach(std::span<const AMFValue> values) {
  put([&](auto& writer) {
    for (const AMFValue& value : values) writer.value(value);
  });
  return *this;
}

AMF0Serializer& AMF0Serializer::serialize(const AMFObject& object) {
  put([&](auto& writer) { writer.object(object); });
  return *this;
}

AMF0Serializer& AMF0Serializer::serialize(const AMFValue& value) {
  put([&](auto& writer) { writer.value(value); });
  return *this;
}

void AMF0Serializer::beginRead() {
  if (depth_ > 0) return;
  const std::int64_t available = bytesAvailable();
  unbackedAllowance_ = available > 0 ? static_cast<std::size_t>(available) / kMinimumEntrySize : 0;
}

// The scalars that commands and metadata carry are read inline, so that a
// container's loop reads them without a call.
AMFValue AMF0Serializer::readValue() {
  const std::uint8_t marker = readUInt8();
  switch (marker) {
    case number:
      return readDouble();
    case boolean:
      return readUInt8() != 0;
    case string:
      return AMFValue(takeUTF8());
    default:
      return readOther(marker);
  }
}

AMFValue AMF0Serializer::readOther(std::uint8_t marker) {
  switch (marker) {
    case longString:
      return AMFValue(takeUTF8(readUInt32()));
    case object:
      return readObjectBody();
    case null:
      return AMFNull{};
    case undefined:
      return kAMFUndefined;
    case ecmaArray:
      return readECMAArrayBody();
    case strictArray:
      return readStrictArrayBody();
    case date: {
      const double milliseconds = readDouble();
      // The time-zone bytes carry nothing and need not be present.
      setPosition(position() + 2);
      return AMFDate(AMFDate::duration(milliseconds));
    }
    case xmlDocument:
      return AMFXMLDocument{readUTF8Bytes(readUInt32())};
    case typedObject: {
      std::string typeName = readUTF8();
      return AMFTypedObject{std::move(typeName), readObjectBody()};
    }
    case Marker::reference:
    case avmPlus:
      // A reference or an AMF3 value would be half-read and leave the rest of
      // the body misaligned.
      fail(AMFSerializerError::Case::deserialize);
    default:
      return AMFNull{};
  }
}

AMFValue AMF0Serializer::deserialize() {
  beginRead();
  return readValue();
}

AMFObject AMF0Serializer::deserializeObject() {
  beginRead();
  switch (readUInt8()) {
    case object:
      return readObjectBody();
    case null:
      return AMFObject();
    default:
      fail(AMFSerializerError::Case::deserialize);
  }
}

AMFArray AMF0Serializer::deserializeECMAArray() {
  beginRead();
  switch (readUInt8()) {
    case ecmaArray:
      return readECMAArrayBody();
    case null:
      return AMFArray();
    default:
      fail(AMFSerializerError::Case::deserialize);
  }
}

AMFList AMF0Serializer::deserializeStrictArray() {
  beginRead();
  if (readUInt8() != strictArray) fail(AMFSerializerError::Case::deserialize);
  return readStrictArrayBody();
}

std::int64_t AMF0Serializer::deserializeInt() {
  if (readUInt8() != number) fail(AMFSerializerError::Case::deserialize);
  const double value = std::trunc(readDouble());
  // 2^63 is exact as a double; every double below it and at or above -2^63 fits.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(value) || value >= kLimit || value < -kLimit) fail(AMFSerializerError::Case::deserialize);
  return static_cast<std::int64_t>(value);
}

AMFObject AMF0Serializer::readObjectBody() {
  const NestingGuard guard(depth_);
  AMFObject result;
  // The key is viewed in the input, which reading the value leaves alone.
  for (std::string_view key = takeUTF8(); !key.empty(); key = takeUTF8()) {
    result.setMade(key, [this]() __attribute__((always_inline)) { return readValue(); });
  }
  // The object-end marker after the empty key is skipped unexamined.
  setPosition(position() + 1);
  return result;
}

AMFArray AMF0Serializer::readECMAArrayBody() {
  const NestingGuard guard(depth_);
  // The count is only a hint; pre-fills and gaps draw on the allowance.
  const std::size_t prefill = std::min<std::size_t>(readUInt32(), unbackedAllowance_);
  unbackedAllowance_ -= prefill;
  AMFArray result(prefill);
  for (std::string_view key = takeUTF8(); !key.empty(); key = takeUTF8()) {
    // A name, as metadata keys are, opens no gap to draw on.
    if (!AMFArray::readsAsIndex(key)) {
      result.dict.setMade(key, [this]() __attribute__((always_inline)) { return readValue(); });
      continue;
    }
    // Read the value first: a nested array spends allowance too.
    AMFValue value = readValue();
    const std::size_t lengthBefore = result.length();
    const auto maxGap = static_cast<std::int64_t>(
        std::min<std::size_t>(unbackedAllowance_, static_cast<std::size_t>(AMFArray::kMaxDenseGap)));
    result.set(key, std::move(value), maxGap);
    if (result.length() > lengthBefore + 1) unbackedAllowance_ -= result.length() - lengthBefore - 1;
  }
  setPosition(position() + 1);
  return result;
}

AMFList AMF0Serializer::readStrictArrayBody() {
  const NestingGuard guard(depth_);
  const std::size_t count = checkedCount(readUInt32(), 1);
  AMFList result;
  result.reserve(count);
  for (std::size_t index = 0; index < count; ++index) result.push_back(readValue());
  return result;
}

}  // namespace rtmpfluvio
