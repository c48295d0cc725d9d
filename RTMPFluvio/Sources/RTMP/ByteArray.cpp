#include "RTMPFluvio/Sources/RTMP/ByteArray.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "Tracepost/Sources/UTF8.hpp"

namespace rtmpfluvio {

const char* ByteArray::Error::what() const noexcept {
  switch (case_) {
    case Case::eof:
      return "ByteArray.Error.eof";
    case Case::parse:
      return "ByteArray.Error.parse";
  }
  return "ByteArray.Error";
}

std::string ByteArray::readUTF8Bytes(std::size_t count) { return std::string(takeUTF8(count)); }

std::string ByteArray::readUTF8() { return std::string(takeUTF8()); }

void ByteArray::checkUTF8(std::string_view text) {
  if (!tracepost::isValidUTF8(text)) throw Error(Error::Case::parse);
}

std::vector<std::uint8_t> ByteArray::readBytes(std::size_t count) {
  const auto bytes = take(count);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::uint32_t> ByteArray::readUInt32Array() const {
  if (position_ >= data_.size() || (data_.size() - position_) % 4 != 0) return {};
  std::vector<std::uint32_t> words;
  words.reserve((data_.size() - position_) / 4);
  for (std::size_t index = position_; index < data_.size(); index += 4) {
    words.push_back(static_cast<std::uint32_t>(data_[index]) | static_cast<std::uint32_t>(data_[index + 1]) << 8 |
                    static_cast<std::uint32_t>(data_[index + 2]) << 16 |
                    static_cast<std::uint32_t>(data_[index + 3]) << 24);
  }
  return words;
}

ByteArray& ByteArray::overwriteBigEndian(std::uint64_t value, std::size_t size) {
  std::array<std::uint8_t, sizeof value> bytes{};
  for (std::size_t index = size; index-- > 0; value >>= 8) bytes[index] = static_cast<std::uint8_t>(value);
  return writeBytes(std::span(bytes.data(), size));
}

ByteArray& ByteArray::writeUTF8Bytes(std::string_view text) {
  return writeBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

ByteArray& ByteArray::writeBytes(std::span<const std::uint8_t> bytes) {
  std::uint8_t* room = claim(bytes.size());
  if (!bytes.empty()) std::memcpy(room, bytes.data(), bytes.size());
  return *this;
}

// A position beyond the end (after shrinking the length or reading past it)
// is reached with zero bytes first.
std::uint8_t* ByteArray::claim(std::size_t count) {
  const std::size_t start = position_;
  if (start + count > data_.size()) data_.resize(start + count);
  position_ += count;
  return data_.data() + start;
}

}  // namespace rtmpfluvio
