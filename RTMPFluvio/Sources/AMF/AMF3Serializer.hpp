#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFReference.hpp"
#include "RTMPFluvio/Sources/AMF/AMFSerializer.hpp"

namespace rtmpfluvio {

// Writes and reads AMF values in AMF3, with the string, object and traits
// reference tables kept in `reference` for the serialiser's whole life.
// Numbers are written as doubles; lists and AMFArrays as arrays, maps as
// anonymous dynamic objects. Reading yields a signed 29-bit integer for the
// integer type, AMFArray for arrays, maps or AMFTypedObject for objects, and
// refuses what it cannot hold: externalizable objects and dictionaries.
class AMF3Serializer : public AMFSerializer {
 public:
  using AMFSerializer::AMFSerializer;

  // Throws AMFSerializerError serialize for an empty member key or a length
  // or table index beyond 29 bits.
  AMF3Serializer& serialize(const AMFValue& value) override;
  AMFValue deserialize() override;


  // What one top-level read may copy out of the tables through references,
  // in bytes of text and kNodeCost per value, so that a few bytes of
  // references cannot expand into unbounded memory.
  static constexpr std::size_t kMaxReferenceExpansion = std::size_t{32} << 20;
  static constexpr std::size_t kNodeCost = 64;

 private:
  void writeU29(std::uint64_t value);
  std::uint32_t readU29();
  void writeStringBody(std::string_view text);
  std::string readStringBody();
  // Writes the reference when an equal value was written before and returns
  // true; otherwise enters the value in the table.
  bool writeObjectReference(const AMFValue& value);
  void writeArray(const AMFValue& value, const AMFList& dense, const AMFObject* associative);
  void writeObject(const AMFValue& value, const AMFObject& members);

  // The bodies after a header whose low bit marks them inline; `field` is
  // the rest of that header.
  AMFArray readArrayBody(std::uint32_t field);
  AMFValue readObjectBody(std::uint32_t field);
  AMFTraits readTraits(std::uint32_t field);
  AMFList readObjectVectorBody(std::uint32_t field);
  template <class Element>
  std::vector<Element> readNumberVectorBody(std::uint32_t field);
  // A referenceable value: its inline body read by `readBody` and entered in
  // the object table, or the referenced entry, which must be one of `Kinds`.
  template <class... Kinds, class ReadBody>
  AMFValue readReferenceable(ReadBody readBody);

  void chargeExpansion(const AMFValue& value);
  void chargeExpansion(std::size_t cost);

  // Objects whose slot is taken but whose members are still being read; a
  // reference to one would need a cycle that values cannot hold.
  std::vector<std::size_t> pendingObjects_;
  std::size_t expansion_ = 0;
};

}  // namespace rtmpfluvio
