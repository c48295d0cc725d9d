#include "RTMPFluvio/Sources/RTMP/ByteArray.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "Tracepost/Sources/UTF8.hpp"

namespace rtmpfluvio {

namespace {

std::uint64_t readBigEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (const std::uint8_t byte : bytes) value = (value << 8) | byte;
  return value;
}

template <std::size_t Size>
std::array<std::uint8_t, Size> bigEndianBytes(std::uint64_t value) {
  std::array<std::uint8_t, Size> bytes{};
  for (std::size_t index = Size; index-- > 0; value >>= 8) bytes[index] = static_cast<std::uint8_t>(value);
  return bytes;
}

}  // namespace

const char* ByteArray::Error::what() const noexcept {
  switch (case_) {
    case Case::eof:
      return "ByteArray.Error.eof";
    case Case::parse:
      return "ByteArray.Error.parse";
  }
  return "ByteArray.Error";
}

std::span<const std::uint8_t> ByteArray::take(std::size_t count) {
  if (position_ > data_.size() || count > data_.size() - position_) throw Error(Error::Case::eof);
  const std::span<const std::uint8_t> bytes(data_.data() + position_, count);
  position_ += count;
  return bytes;
}

std::uint8_t ByteArray::readUInt8() { return take(1)[0]; }

std::uint16_t ByteArray::readUInt16() { return static_cast<std::uint16_t>(readBigEndian(take(2))); }

std::uint32_t ByteArray::readUInt32() { return static_cast<std::uint32_t>(readBigEndian(take(4))); }

double ByteArray::readDouble() { return std::bit_cast<double>(readBigEndian(take(8))); }

std::string ByteArray::readUTF8Bytes(std::size_t count) {
  const auto bytes = take(count);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!tracepost::isValidUTF8(text)) throw Error(Error::Case::parse);
  return std::string(text);
}

std::string ByteArray::readUTF8() {
  const std::size_t start = position_;
  const std::uint16_t count = readUInt16();
  if (count > bytesAvailable()) {
    position_ = start;
    throw Error(Error::Case::eof);
  }
  return readUTF8Bytes(count);
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

template <std::size_t Size>
ByteArray& ByteArray::writeBigEndian(std::uint64_t value) {
  return writeBytes(bigEndianBytes<Size>(value));
}

ByteArray& ByteArray::writeUInt8(std::uint8_t value) { return writeBigEndian<1>(value); }

ByteArray& ByteArray::writeUInt16(std::uint16_t value) { return writeBigEndian<2>(value); }

ByteArray& ByteArray::writeUInt32(std::uint32_t value) { return writeBigEndian<4>(value); }

ByteArray& ByteArray::writeDouble(double value) { return writeBigEndian<8>(std::bit_cast<std::uint64_t>(value)); }

ByteArray& ByteArray::writeUTF8Bytes(std::string_view text) {
  return writeBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

ByteArray& ByteArray::writeBytes(std::span<const std::uint8_t> bytes) {
  if (position_ == data_.size()) {
    // Appending, as while a message is built: the few bytes of a marker or
    // number one by one, longer runs as one copy behind the end.
    if (bytes.size() <= sizeof(std::uint64_t)) {
      for (const std::uint8_t byte : bytes) data_.push_back(byte);
    } else {
      data_.resize(position_ + bytes.size());
      std::memcpy(data_.data() + position_, bytes.data(), bytes.size());
    }
    position_ += bytes.size();
    return *this;
  }
  // A position beyond the end (after shrinking the length or reading past
  // it) is reached with zero bytes first.
  if (position_ > data_.size()) data_.resize(position_);
  const std::size_t overwritten = std::min(data_.size() - position_, bytes.size());
  std::copy_n(bytes.begin(), overwritten, data_.begin() + static_cast<std::ptrdiff_t>(position_));
  data_.insert(data_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(overwritten), bytes.end());
  position_ += bytes.size();
  return *this;
}

}  // namespace rtmpfluvio
