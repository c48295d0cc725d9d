#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace fluvio {

// Converts a video elementary stream between the length-prefixed form (each
// unit preceded by its length, 4 bytes big-endian) and the start-code form.
// Neither direction adds or removes emulation-prevention bytes.
class ISOTypeBufferUtil {
 public:
  // Copies `count` bytes; null bytes give an empty buffer.
  ISOTypeBufferUtil(const std::uint8_t* bytes, std::uint32_t count);
  // Nothing when there is no data.
  static std::optional<ISOTypeBufferUtil> make(std::optional<std::vector<std::uint8_t>> data);

  const std::vector<std::uint8_t>& data() const noexcept { return data_; }

  // Length-prefixed to start-code form: every unit gets the 4-byte start
  // code. A prefix that announces more bytes than remain, or 1 to 3 trailing
  // bytes, ends the conversion with one error line; the units before it are
  // kept.
  std::vector<std::uint8_t> toByteStream() const;

  // Start-code to length-prefixed form, in place: every unit gets a 4-byte
  // length; empty units (back-to-back start codes) are dropped and bytes
  // before the first start code are kept. When every start code already has
  // 4 bytes no memory moves. A unit too long for a signed 32-bit length
  // leaves the data as it was, with one error line.
  static void toNALFileFormat(std::vector<std::uint8_t>& data);

 private:
  explicit ISOTypeBufferUtil(std::vector<std::uint8_t> data) noexcept : data_(std::move(data)) {}

  std::vector<std::uint8_t> data_;
};

}  // namespace fluvio
