#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"

#include <cmath>
#include <limits>
#include <string>

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

}  // namespace

AMF0Serializer& AMF0Serializer::serializeUTF8(std::string_view text, bool isLong) {
  if (isLong) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) fail(AMFSerializerError::Case::serialize);
    writeUInt32(static_cast<std::uint32_t>(text.size()));
  } else {
    if (text.size() > kMaxShortString) fail(AMFSerializerError::Case::serialize);
    writeUInt16(static_cast<std::uint16_t>(text.size()));
  }
  writeUTF8Bytes(text);
  return *this;
}

// An empty key would end the container early, so it is refused too.
void AMF0Serializer::writeKey(std::string_view key) {
  if (key.empty()) fail(AMFSerializerError::Case::serialize);
  serializeUTF8(key, false);
}

AMF0Serializer& AMF0Serializer::serializeString(std::string_view text) {
  const bool isLong = text.size() > kMaxShortString;
  writeUInt8(isLong ? longString : string);
  return serializeUTF8(text, isLong);
}

AMF0Serializer& AMF0Serializer::serialize(const AMFObject& object) {
  writeUInt8(Marker::object);
  writeEntries(object);
  return *this;
}

// Each key and value, then the empty key and the object-end marker.
void AMF0Serializer::writeEntries(const AMFObject& entries) {
  for (const auto& [key, element] : entries) {
    writeKey(key);
    serialize(element);
  }
  writeUInt16(0).writeUInt8(objectEnd);
}

AMF0Serializer& AMF0Serializer::serialize(const AMFValue& value) {
  std::visit(
      [this](const auto& kind) {
        using Kind = std::decay_t<decltype(kind)>;
        if constexpr (std::is_same_v<Kind, AMFNull>) {
          writeUInt8(null);
        } else if constexpr (std::is_same_v<Kind, std::int64_t> || std::is_same_v<Kind, double>) {
          writeUInt8(number).writeDouble(static_cast<double>(kind));
        } else if constexpr (std::is_same_v<Kind, AMFDate>) {
          writeUInt8(date).writeDouble(kind.time_since_epoch().count()).writeUInt16(0);
        } else if constexpr (std::is_same_v<Kind, std::string>) {
          serializeString(kind);
        } else if constexpr (std::is_same_v<Kind, bool>) {
          writeUInt8(boolean).writeUInt8(kind ? 1 : 0);
        } else if constexpr (std::is_same_v<Kind, AMFList>) {
          if (kind.size() > std::numeric_limits<std::uint32_t>::max()) fail(AMFSerializerError::Case::serialize);
          writeUInt8(strictArray).writeUInt32(static_cast<std::uint32_t>(kind.size()));
          for (const AMFValue& element : kind) serialize(element);
        } else if constexpr (std::is_same_v<Kind, AMFArray>) {
          if (kind.length() > std::numeric_limits<std::uint32_t>::max()) fail(AMFSerializerError::Case::serialize);
          writeUInt8(ecmaArray).writeUInt32(static_cast<std::uint32_t>(kind.length()));
          for (std::size_t index = 0; index < kind.length(); ++index) {
            writeKey(std::to_string(index));
            serialize(kind.data[index]);
          }
          writeEntries(kind.dict);
        } else if constexpr (std::is_same_v<Kind, AMFObject>) {
          serialize(kind);
        } else {
          writeUInt8(undefined);
        }
      },
      value.storage());
  return *this;
}

void AMF0Serializer::beginRead() {
  if (depth_ > 0) return;
  const std::int64_t available = bytesAvailable();
  unbackedAllowance_ = available > 0 ? static_cast<std::size_t>(available) / kMinimumEntrySize : 0;
}

AMFValue AMF0Serializer::deserialize() {
  beginRead();
  switch (readUInt8()) {
    case number:
      return readDouble();
    case boolean:
      return readUInt8() != 0;
    case string:
      return readUTF8();
    case longString:
      return readUTF8Bytes(readUInt32());
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
  for (std::string key = readUTF8(); !key.empty(); key = readUTF8()) result.set(std::move(key), deserialize());
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
  for (std::string key = readUTF8(); !key.empty(); key = readUTF8()) {
    // Read the value first: a nested array spends allowance too.
    AMFValue value = deserialize();
    const std::size_t lengthBefore = result.length();
    const auto maxGap = static_cast<std::int64_t>(
        std::min<std::size_t>(unbackedAllowance_, static_cast<std::size_t>(AMFArray::kMaxDenseGap)));
    result.set(std::move(key), std::move(value), maxGap);
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
  for (std::size_t index = 0; index < count; ++index) result.push_back(deserialize());
  return result;
}

}  // namespace rtmpfluvio
