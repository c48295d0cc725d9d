#include "Fluvio/Sources/ISO/ByteArray.hpp"

#include "Fluvio/Sources/Util/Mirror.hpp"

namespace fluvio {

const char* ByteArray::Error::what() const noexcept {
  switch (case_) {
    case Case::eof:
      return "ByteArray.Error.eof";
    case Case::parse:
      return "ByteArray.Error.parse";
  }
  return "ByteArray.Error";
}

std::uint32_t ByteArray::readUInt32() {
  const std::span<const std::uint8_t> bytes = readBytes(4);
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
         std::uint32_t{bytes[3]};
}

std::span<const std::uint8_t> ByteArray::readBytes(std::size_t length) {
  if (bytesAvailable() < length) throw Error(Error::Case::eof);
  if (length == 0) return {};
  const std::span<const std::uint8_t> bytes(data.data() + position, length);
  position += length;
  return bytes;
}

std::string ByteArray::debugDescription() const {
  return Mirror("ByteArray", {Mirror::child("data", std::to_string(data.size()) + " bytes"),
                              Mirror::child("position", position)})
      .debugDescription();
}

}  // namespace fluvio
