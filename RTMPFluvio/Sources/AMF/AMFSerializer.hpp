#pragma once

#include <cstddef>
#include <cstdint>

#include "RTMPFluvio/Sources/AMF/AMFReference.hpp"
#include "RTMPFluvio/Sources/AMF/AMFSerializerError.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/ByteArray.hpp"

namespace rtmpfluvio {

// What both AMF serialisers offer: writing appends one value, reading takes
// one value at the position. Readers throw AMFSerializerError or
// ByteArray::Error.
class AMFSerializer : public ByteArray {
 public:
  using ByteArray::ByteArray;

  virtual AMFSerializer& serialize(const AMFValue& value) = 0;
  virtual AMFValue deserialize() = 0;

  // The AMF3 reference tables; AMF0 neither reads nor fills them.
  AMFReference reference;

  // Containers nested deeper than this are refused.
  static constexpr int kMaxDepth = 64;

 protected:
  [[noreturn]] static void fail(AMFSerializerError::Case errorCase) { throw AMFSerializerError(errorCase); }

  // Counts one level of container nesting for as long as it lives.
  class NestingGuard {
   public:
    explicit NestingGuard(int& depth);
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    int& depth_;
  };

  // A count read from the wire of elements that take at least
  // `minimumElementSize` bytes each: Error eof when the remaining bytes
  // cannot hold them, so a count never allocates more than the input backs.
  std::size_t checkedCount(std::uint64_t count, std::size_t minimumElementSize) const;

  int depth_ = 0;
};

}  // namespace rtmpfluvio
