#include "RTMPFluvio/Sources/AMF/AMF3Serializer.hpp"

#include <algorithm>
#include <bit>

namespace rtmpfluvio {

namespace {

enum Marker : std::uint8_t {
  undefined = 0x00,
  null = 0x01,
  falseValue = 0x02,
  trueValue = 0x03,
  integer = 0x04,
  number = 0x05,
  string = 0x06,
  xmlDocument = 0x07,
  date = 0x08,
  array = 0x09,
  object = 0x0A,
  xml = 0x0B,
  byteArray = 0x0C,
  intVector = 0x0D,
  uintVector = 0x0E,
  doubleVector = 0x0F,
  objectVector = 0x10,
};

constexpr std::uint32_t kMaxU29 = 0x1FFFFFFF;
// The traits header of an anonymous dynamic object without sealed members.
constexpr std::uint32_t kAnonymousDynamicTraits = 0x0B;

// The cost of a copy of `value`, counted until it reaches `limit`.
std::size_t costOf(const AMFValue& value, std::size_t limit) {
  std::size_t cost = AMF3Serializer::kNodeCost;
  const auto add = [&](const AMFValue& element) {
    if (cost < limit) cost += costOf(element, limit - cost);
  };
  const auto addEntry = [&](const std::string& key, const AMFValue& element) {
    cost += key.size();
    add(element);
  };
  std::visit(
      [&](const auto& kind) {
        using Kind = std::decay_t<decltype(kind)>;
        if constexpr (std::is_same_v<Kind, std::string> || std::is_same_v<Kind, AMFByteArray>) {
          cost += kind.size();
        } else if constexpr (std::is_same_v<Kind, AMFXMLDocument> || std::is_same_v<Kind, AMFXML>) {
          cost += kind.data.size();
        } else if constexpr (std::is_same_v<Kind, std::vector<std::int32_t>> ||
                             std::is_same_v<Kind, std::vector<std::uint32_t>> ||
                             std::is_same_v<Kind, std::vector<double>>) {
          cost += kind.size() * sizeof(typename Kind::value_type);
        } else if constexpr (std::is_same_v<Kind, AMFList>) {
          for (const AMFValue& element : kind) add(element);
        } else if constexpr (std::is_same_v<Kind, AMFObject>) {
          for (const auto& [key, element] : kind) addEntry(key, element);
        } else if constexpr (std::is_same_v<Kind, AMFTypedObject>) {
          for (const auto& [key, element] : kind.data) addEntry(key, element);
        } else if constexpr (std::is_same_v<Kind, AMFArray>) {
          for (const AMFValue& element : kind.data) add(element);
          for (const auto& [key, element] : kind.dict) addEntry(key, element);
        }
      },
      value.storage());
  return cost;
}

}  // namespace

void AMF3Serializer::writeU29(std::uint64_t value) {
  if (value > kMaxU29) fail(AMFSerializerError::Case::serialize);
  const auto v = static_cast<std::uint32_t>(value);
  if (v < 0x80) {
    writeUInt8(static_cast<std::uint8_t>(v));
  } else if (v < 0x4000) {
    writeUInt8(static_cast<std::uint8_t>(v >> 7 | 0x80)).writeUInt8(v & 0x7F);
  } else if (v < 0x200000) {
    writeUInt8(static_cast<std::uint8_t>(v >> 14 | 0x80))
        .writeUInt8(static_cast<std::uint8_t>((v >> 7 & 0x7F) | 0x80))
        .writeUInt8(v & 0x7F);
  } else {
    writeUInt8(static_cast<std::uint8_t>(v >> 22 | 0x80))
        .writeUInt8(static_cast<std::uint8_t>((v >> 15 & 0x7F) | 0x80))
        .writeUInt8(static_cast<std::uint8_t>((v >> 8 & 0x7F) | 0x80))
        .writeUInt8(static_cast<std::uint8_t>(v));
  }
}

std::uint32_t AMF3Serializer::readU29() {
  std::uint32_t value = 0;
  for (int index = 0; index < 3; ++index) {
    const std::uint8_t byte = readUInt8();
    value = value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return value;
  }
  return value << 8 | readUInt8();
}

void AMF3Serializer::writeStringBody(std::string_view text) {
  if (text.empty()) {
    writeU29(1);
  } else if (const auto index = reference.indexOfString(text)) {
    writeU29(std::uint64_t{*index} << 1);
  } else {
    writeU29(std::uint64_t{text.size()} << 1 | 1);
    reference.strings.emplace_back(text);
    writeUTF8Bytes(text);
  }
}

std::string AMF3Serializer::readStringBody() {
  const std::uint32_t header = readU29();
  if ((header & 1) == 0) {
    const std::size_t index = header >> 1;
    if (index >= reference.strings.size()) fail(AMFSerializerError::Case::outOfIndex);
    chargeExpansion(reference.strings[index].size());
    return reference.strings[index];
  }
  std::string text = readUTF8Bytes(header >> 1);
  if (!text.empty()) reference.strings.push_back(text);
  return text;
}

bool AMF3Serializer::writeObjectReference(const AMFValue& value) {
  if (const auto index = reference.indexOfObject(value)) {
    writeU29(std::uint64_t{*index} << 1);
    return true;
  }
  reference.objects.push_back(value);
  return false;
}

void AMF3Serializer::writeArray(const AMFValue& value, const AMFList& dense, const AMFObject* associative) {
  writeUInt8(array);
  if (writeObjectReference(value)) return;
  writeU29(std::uint64_t{dense.size()} << 1 | 1);
  if (associative != nullptr) {
    for (const auto& [key, element] : *associative) {
      if (key.empty()) fail(AMFSerializerError::Case::serialize);
      writeStringBody(key);
      serialize(element);
    }
  }
  writeStringBody("");
  for (const AMFValue& element : dense) serialize(element);
}

void AMF3Serializer::writeObject(const AMFValue& value, const AMFObject& members) {
  writeUInt8(object);
  if (writeObjectReference(value)) return;
  const AMFTraits anonymous{.className = {}, .sealedNames = {}, .isDynamic = true};
  if (const auto index = reference.indexOfTraits(anonymous)) {
    writeU29(std::uint64_t{*index} << 2 | 1);
  } else {
    reference.traits.push_back(anonymous);
    writeU29(kAnonymousDynamicTraits);
    writeStringBody(anonymous.className);
  }
  for (const auto& [key, element] : members) {
    if (key.empty()) fail(AMFSerializerError::Case::serialize);
    writeStringBody(key);
    serialize(element);
  }
  writeStringBody("");
}

AMF3Serializer& AMF3Serializer::serialize(const AMFValue& value) {
  std::visit(
      [&](const auto& kind) {
        using Kind = std::decay_t<decltype(kind)>;
        if constexpr (std::is_same_v<Kind, AMFNull>) {
          writeUInt8(null);
        } else if constexpr (std::is_same_v<Kind, std::int64_t> || std::is_same_v<Kind, double>) {
          writeUInt8(number).writeDouble(static_cast<double>(kind));
        } else if constexpr (std::is_same_v<Kind, AMFDate>) {
          writeUInt8(date);
          if (!writeObjectReference(value)) writeU29(1), writeDouble(kind.time_since_epoch().count());
        } else if constexpr (std::is_same_v<Kind, std::string>) {
          writeUInt8(string);
          writeStringBody(kind);
        } else if constexpr (std::is_same_v<Kind, bool>) {
          writeUInt8(kind ? trueValue : falseValue);
        } else if constexpr (std::is_same_v<Kind, AMFArray>) {
          writeArray(value, kind.data, &kind.dict);
        } else if constexpr (std::is_same_v<Kind, AMFList>) {
          writeArray(value, kind, nullptr);
        } else if constexpr (std::is_same_v<Kind, AMFObject>) {
          writeObject(value, kind);
        } else {
          writeUInt8(undefined);
        }
      },
      value.storage());
  return *this;
}

AMFValue AMF3Serializer::deserialize() {
  if (depth_ == 0) {
    expansion_ = 0;
    pendingObjects_.clear();
  }
  switch (readUInt8()) {
    case undefined:
      return kAMFUndefined;
    case null:
      return AMFNull{};
    case falseValue:
      return false;
    case trueValue:
      return true;
    case integer: {
      // Signed 29 bits: bit 28 is the sign.
      const std::uint32_t bits = readU29();
      return static_cast<std::int64_t>(bits) - ((bits & 0x10000000) != 0 ? std::int64_t{0x20000000} : 0);
    }
    case number:
      return readDouble();
    case string:
      return readStringBody();
    case xmlDocument:
      return readReferenceable<AMFXMLDocument>([&](std::uint32_t field) {
        return AMFXMLDocument{readUTF8Bytes(field)};
      });
    case xml:
      return readReferenceable<AMFXML>([&](std::uint32_t field) { return AMFXML{readUTF8Bytes(field)}; });
    case date:
      return readReferenceable<AMFDate>([&](std::uint32_t) { return AMFDate(AMFDate::duration(readDouble())); });
    case array:
      return readReferenceable<AMFArray>([&](std::uint32_t field) { return readArrayBody(field); });
    case object:
      return readReferenceable<AMFObject, AMFTypedObject>([&](std::uint32_t field) { return readObjectBody(field); });
    case byteArray:
      return readReferenceable<AMFByteArray>([&](std::uint32_t field) { return readBytes(field); });
    case intVector:
      return readReferenceable<std::vector<std::int32_t>>(
          [&](std::uint32_t field) { return readNumberVectorBody<std::int32_t>(field); });
    case uintVector:
      return readReferenceable<std::vector<std::uint32_t>>(
          [&](std::uint32_t field) { return readNumberVectorBody<std::uint32_t>(field); });
    case doubleVector:
      return readReferenceable<std::vector<double>>(
          [&](std::uint32_t field) { return readNumberVectorBody<double>(field); });
    case objectVector:
      return readReferenceable<AMFList>([&](std::uint32_t field) { return readObjectVectorBody(field); });
    default:
      // Dictionaries have no value of ours, and anything above is no marker.
      fail(AMFSerializerError::Case::deserialize);
  }
}

template <class... Kinds, class ReadBody>
AMFValue AMF3Serializer::readReferenceable(ReadBody readBody) {
  const std::uint32_t header = readU29();
  if ((header & 1) == 0) {
    const std::size_t index = header >> 1;
    if (index >= reference.objects.size()) fail(AMFSerializerError::Case::outOfIndex);
    const AMFValue& referenced = reference.objects[index];
    const bool pending = std::find(pendingObjects_.begin(), pendingObjects_.end(), index) != pendingObjects_.end();
    if (pending || !(referenced.is<Kinds>() || ...)) fail(AMFSerializerError::Case::deserialize);
    chargeExpansion(referenced);
    return referenced;
  }
  // The slot is taken before the body is read, as later references count it.
  const std::size_t slot = reference.objects.size();
  reference.objects.emplace_back();
  pendingObjects_.push_back(slot);
  AMFValue value = readBody(header >> 1);
  pendingObjects_.pop_back();
  reference.objects[slot] = value;
  return value;
}

AMFArray AMF3Serializer::readArrayBody(std::uint32_t field) {
  const NestingGuard guard(depth_);
  AMFArray result;
  for (std::string key = readStringBody(); !key.empty(); key = readStringBody()) {
    result.dict.set(std::move(key), deserialize());
  }
  const std::size_t denseCount = checkedCount(field, 1);
  result.data.reserve(denseCount);
  for (std::size_t index = 0; index < denseCount; ++index) result.data.push_back(deserialize());
  return result;
}

AMFTraits AMF3Serializer::readTraits(std::uint32_t field) {
  // field: bit 0 clear for a traits reference; bit 1 set for externalizable.
  if ((field & 1) == 0) {
    const std::size_t index = field >> 1;
    if (index >= reference.traits.size()) fail(AMFSerializerError::Case::outOfIndex);
    const AMFTraits& referenced = reference.traits[index];
    std::size_t cost = kNodeCost + referenced.className.size();
    for (const std::string& name : referenced.sealedNames) cost += name.size();
    chargeExpansion(cost);
    return referenced;
  }
  if ((field & 2) != 0) fail(AMFSerializerError::Case::deserialize);
  AMFTraits traits;
  traits.isDynamic = (field & 4) != 0;
  const std::size_t sealedCount = checkedCount(field >> 3, 1);
  traits.className = readStringBody();
  traits.sealedNames.reserve(sealedCount);
  for (std::size_t index = 0; index < sealedCount; ++index) traits.sealedNames.push_back(readStringBody());
  reference.traits.push_back(traits);
  return traits;
}

AMFValue AMF3Serializer::readObjectBody(std::uint32_t field) {
  const NestingGuard guard(depth_);
  AMFTraits traits = readTraits(field);
  AMFObject members;
  for (std::string& name : traits.sealedNames) members.set(std::move(name), deserialize());
  if (traits.isDynamic) {
    for (std::string key = readStringBody(); !key.empty(); key = readStringBody()) {
      members.set(std::move(key), deserialize());
    }
  }
  if (traits.className.empty()) return members;
  return AMFTypedObject{std::move(traits.className), std::move(members)};
}

AMFList AMF3Serializer::readObjectVectorBody(std::uint32_t field) {
  const NestingGuard guard(depth_);
  readUInt8();        // fixed-length flag
  readStringBody();   // element type name
  const std::size_t count = checkedCount(field, 1);
  AMFList result;
  result.reserve(count);
  for (std::size_t index = 0; index < count; ++index) result.push_back(deserialize());
  return result;
}

template <class Element>
std::vector<Element> AMF3Serializer::readNumberVectorBody(std::uint32_t field) {
  readUInt8();  // fixed-length flag
  const std::size_t count = checkedCount(field, sizeof(Element));
  std::vector<Element> result;
  result.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    if constexpr (std::is_same_v<Element, double>) {
      result.push_back(readDouble());
    } else {
      result.push_back(static_cast<Element>(readUInt32()));
    }
  }
  return result;
}

void AMF3Serializer::chargeExpansion(const AMFValue& value) {
  chargeExpansion(costOf(value, kMaxReferenceExpansion - expansion_ + 1));
}

void AMF3Serializer::chargeExpansion(std::size_t cost) {
  if (cost > kMaxReferenceExpansion - expansion_) fail(AMFSerializerError::Case::deserialize);
  expansion_ += cost;
}

}  // namespace rtmpfluvio
