#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rtmpfluvio {

// What the module's code relies on of a positioned big-endian byte buffer.
template <class Buffer>
concept ByteArrayConvertible = requires(Buffer buffer, const Buffer& constant, std::size_t count,
                                        std::span<const std::uint8_t> bytes, std::string_view text) {
  { constant.data() } -> std::convertible_to<const std::vector<std::uint8_t>&>;
  { constant.length() } -> std::convertible_to<std::size_t>;
  buffer.setLength(count);
  { constant.position() } -> std::convertible_to<std::size_t>;
  buffer.setPosition(count);
  { constant.bytesAvailable() } -> std::convertible_to<std::int64_t>;
  buffer.writeUInt8(std::uint8_t{});
  { buffer.readUInt8() } -> std::same_as<std::uint8_t>;
  buffer.writeUInt16(std::uint16_t{});
  buffer.writeUInt32(std::uint32_t{});
  { buffer.readUInt32() } -> std::same_as<std::uint32_t>;
  { buffer.readUTF8() } -> std::same_as<std::string>;
  buffer.writeUTF8Bytes(text);
  buffer.writeBytes(bytes);
  { buffer.readBytes(count) } -> std::same_as<std::vector<std::uint8_t>>;
};

}  // namespace rtmpfluvio
