#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/ByteArrayConvertible.hpp"

namespace rtmpfluvio {

// A growable byte buffer with one read/write cursor. Numbers are big-endian;
// only the word array for MD5 is little-endian. A buffer belongs to the one
// task that builds or parses a message.
class ByteArray {
 public:
  class Error : public std::exception {
   public:
    enum class Case { eof, parse };
    explicit Error(Case errorCase) noexcept : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  ByteArray() = default;
  explicit ByteArray(std::vector<std::uint8_t> data) noexcept : data_(std::move(data)) {}
  explicit ByteArray(std::span<const std::uint8_t> bytes) : data_(bytes.begin(), bytes.end()) {}
  virtual ~ByteArray() = default;

  const std::vector<std::uint8_t>& data() const noexcept { return data_; }
  // Replaces the contents; the position stays where it was.
  void setData(std::vector<std::uint8_t> data) noexcept { data_ = std::move(data); }
  // Hands the contents over, leaving the buffer empty at position 0.
  std::vector<std::uint8_t> takeData() noexcept {
    position_ = 0;
    return std::exchange(data_, {});
  }
  // Room for `capacity` bytes without growing again.
  void reserve(std::size_t capacity) { data_.reserve(capacity); }

  std::size_t length() const noexcept { return data_.size(); }
  // Truncates or zero-extends; the position is left alone.
  void setLength(std::size_t length) { data_.resize(length); }

  std::size_t position() const noexcept { return position_; }
  void setPosition(std::size_t position) noexcept { position_ = position; }

  // Negative when the position lies beyond the end.
  std::int64_t bytesAvailable() const noexcept {
    return static_cast<std::int64_t>(data_.size()) - static_cast<std::int64_t>(position_);
  }

  // Each read throws Error eof, without moving the position, when too few
  // bytes remain.
  std::uint8_t readUInt8() { return static_cast<std::uint8_t>(readBigEndian<1>()); }
  std::uint16_t readUInt16() { return static_cast<std::uint16_t>(readBigEndian<2>()); }
  std::uint32_t readUInt32() { return static_cast<std::uint32_t>(readBigEndian<4>()); }
  double readDouble() { return std::bit_cast<double>(readBigEndian<8>()); }
  // Moves past the n bytes before decoding them, so a parse error leaves the
  // position behind them.
  std::string readUTF8Bytes(std::size_t count);
  // A 16-bit byte count, then that many bytes of UTF-8.
  std::string readUTF8();
  std::vector<std::uint8_t> readBytes(std::size_t count);
  // The remaining bytes as little-endian words; empty unless they come in
  // whole words. The position does not move.
  std::vector<std::uint32_t> readUInt32Array() const;

  ByteArray& writeUInt8(std::uint8_t value) { return writeBigEndian<1>(value); }
  ByteArray& writeUInt16(std::uint16_t value) { return writeBigEndian<2>(value); }
  ByteArray& writeUInt32(std::uint32_t value) { return writeBigEndian<4>(value); }
  ByteArray& writeDouble(double value) { return writeBigEndian<8>(std::bit_cast<std::uint64_t>(value)); }
  ByteArray& writeUTF8Bytes(std::string_view text);
  // Overwrites from the position and appends what reaches past the end;
  // bytes behind the written range keep their places.
  ByteArray& writeBytes(std::span<const std::uint8_t> bytes);

 protected:
  // Room for `count` bytes at the position, which moves past them, laid out
  // as writeBytes lays them out; the caller fills it before any other change.
  std::uint8_t* claim(std::size_t count);
  // The bytes themselves, for writers that append as they go and trim the
  // length to what they wrote.
  std::vector<std::uint8_t>& storage() noexcept { return data_; }
  // What readUTF8Bytes and readUTF8 read, viewed in place: valid until the
  // bytes change. Inline, since readers take one per key and text.
  std::string_view takeUTF8(std::size_t count) { return viewUTF8(take(count)); }
  [[gnu::always_inline]] std::string_view takeUTF8() {
    // One check covers the count and the bytes it counts; a short read
    // leaves the position before the count.
    const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
    if (available < 2) throw Error(Error::Case::eof);
    const std::uint8_t* at = data_.data() + position_;
    const std::size_t count = static_cast<std::size_t>(at[0]) << 8 | at[1];
    if (count > available - 2) throw Error(Error::Case::eof);
    position_ += 2 + count;
    return viewUTF8(std::span(at + 2, count));
  }

 private:
  // The bytes as text, or Error parse. Keys and most texts are ASCII, which
  // needs no further check.
  static std::string_view viewUTF8(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!isASCII(bytes)) checkUTF8(text);
    return text;
  }
  // Whole words are tested, the last overlapping the one before, and a few
  // bytes at once: a loop over a key's bytes mispredicts its end, which
  // costs more than the test.
  static bool isASCII(std::span<const std::uint8_t> bytes) noexcept {
    const std::uint8_t* at = bytes.data();
    const std::size_t size = bytes.size();
    const auto word = [at]<class Word>(std::size_t offset, Word) {
      Word value;
      std::memcpy(&value, at + offset, sizeof value);
      return std::uint64_t{value};
    };
    std::uint64_t bits = 0;
    if (size > 16) {
      bits = word(size - 8, std::uint64_t{});
      for (std::size_t offset = 0; offset + 8 < size; offset += 8) bits |= word(offset, std::uint64_t{});
    } else if (size >= 8) {
      // Most keys: two words cover them without a loop.
      bits = word(0, std::uint64_t{}) | word(size - 8, std::uint64_t{});
    } else if (size >= 4) {
      bits = word(0, std::uint32_t{}) | word(size - 4, std::uint32_t{});
    } else if (size > 0) {
      bits = at[0] | at[size / 2] | at[size - 1];
    }
    return (bits & 0x8080808080808080u) == 0;
  }
  // Error parse unless `text` is valid UTF-8.
  static void checkUTF8(std::string_view text);

  // The next `count` bytes, or Error eof.
  std::span<const std::uint8_t> take(std::size_t count) {
    if (position_ > data_.size() || count > data_.size() - position_) throw Error(Error::Case::eof);
    const std::span<const std::uint8_t> bytes(data_.data() + position_, count);
    position_ += count;
    return bytes;
  }

  // One load and a byte swap rather than a loop over the bytes; a single
  // byte, as every marker is, needs no swap.
  template <std::size_t Size>
  std::uint64_t readBigEndian() {
    if constexpr (Size == 1) {
      return take(1).front();
    } else {
      std::uint64_t value = 0;
      std::memcpy(reinterpret_cast<std::uint8_t*>(&value) + sizeof value - Size, take(Size).data(), Size);
      if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
      return value;
    }
  }

  // The bytes of a big-endian number. Appended one by one when the position
  // is at the end, as it is while a message is built: a few inline stores
  // cost less than a call that copies them.
  template <std::size_t Size>
  ByteArray& writeBigEndian(std::uint64_t value) {
    if (position_ != data_.size()) return overwriteBigEndian(value, Size);
    for (std::size_t shift = Size * 8; shift > 0;) {
      shift -= 8;
      data_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    position_ += Size;
    return *this;
  }
  ByteArray& overwriteBigEndian(std::uint64_t value, std::size_t size);

  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

static_assert(ByteArrayConvertible<ByteArray>);

}  // namespace rtmpfluvio
