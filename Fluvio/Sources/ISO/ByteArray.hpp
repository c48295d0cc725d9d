#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

namespace fluvio {

// A byte buffer read from a position, big-endian.
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

  explicit ByteArray(std::vector<std::uint8_t> bytes) noexcept : data(std::move(bytes)) {}

  std::vector<std::uint8_t> data;
  std::size_t position = 0;

  std::size_t bytesAvailable() const noexcept { return position < data.size() ? data.size() - position : 0; }

  // Each read throws Error(eof) and leaves `position` where it was when fewer
  // bytes remain than it needs.
  std::uint32_t readUInt32();
  // The bytes stay owned by `data`; the view lasts until `data` changes.
  std::span<const std::uint8_t> readBytes(std::size_t length);

  std::string debugDescription() const;
};

}  // namespace fluvio
