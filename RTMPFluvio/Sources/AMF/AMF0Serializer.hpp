#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "RTMPFluvio/Sources/AMF/AMFSerializer.hpp"

namespace rtmpfluvio {

// Writes and reads AMF values in AMF0, the encoding of every command, data
// and shared-object body. It never writes references, typed objects or XML.
class AMF0Serializer : public AMFSerializer {
 public:
  using AMFSerializer::AMFSerializer;

  // Throws AMFSerializerError serialize for what AMF0 cannot carry: an empty
  // key or one over 65,535 bytes, a list of more than 2^32 - 1 elements.
  // A refused value leaves nothing of itself behind.
  AMF0Serializer& serialize(const AMFValue& value) override;
  // The values one after another, as one write: the buffer grows once, and a
  // refused value writes none of them.
  AMF0Serializer& serializeEach(std::span<const AMFValue> values);
  // The same bytes as for the value holding it, without making one.
  AMF0Serializer& serialize(const AMFObject& object);
  // A string value (marker, count and bytes), long when it needs to be.
  AMF0Serializer& serializeString(std::string_view text);
  // Markers that carry no value of ours (movie clip, object end, unsupported,
  // record set) give AMFNull; a reference or an AMF3 switch is refused.
  AMFValue deserialize() override;

  // The UTF-8 byte count (16 bits, or 32 with `isLong`) and the bytes,
  // without a marker.
  AMF0Serializer& serializeUTF8(std::string_view text, bool isLong);
  // An object, or null as an empty object.
  AMFObject deserializeObject();
  // An ECMA array, or null as an empty one.
  AMFArray deserializeECMAArray();
  // A strict array; any other marker is refused.
  AMFList deserializeStrictArray();
  // A number truncated toward zero; refused when not finite or beyond the
  // signed 64-bit range.
  std::int64_t deserializeInt();

 private:
  // Starts the allowance of elements that no input byte backs (ECMA array
  // pre-fills and gaps): one per four remaining bytes for a whole top-level
  // read, however many arrays it holds.
  void beginRead();

  // Runs `write` once, appending, when the position is at the end, and cuts
  // off what it wrote if it throws; inside the bytes it writes aside first
  // and overwrites only once the value is whole.
  template <class Write>
  void put(const Write& write);

  // A value within the one that a public reader began; inline where it is
  // defined, in the containers' loops.
  [[gnu::always_inline]] inline AMFValue readValue();
  // A value of a kind that readValue leaves to a call, its marker read.
  [[gnu::noinline]] AMFValue readOther(std::uint8_t marker);
  AMFObject readObjectBody();
  AMFArray readECMAArrayBody();
  AMFList readStrictArrayBody();

  std::size_t unbackedAllowance_ = 0;
};

}  // namespace rtmpfluvio
