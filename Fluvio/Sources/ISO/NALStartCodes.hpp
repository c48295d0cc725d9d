#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fluvio {

// Where one unit of start-code data lies: its start code begins at
// `startCodeOffset`, its bytes run from `offset` up to the next start code or
// the end of the data. Back-to-back start codes give a unit of length 0.
struct NALStartCodeUnit {
  std::size_t startCodeOffset;
  std::size_t offset;
  std::size_t length;

  std::size_t startCodeLength() const noexcept { return offset - startCodeOffset; }
};

// The units of start-code data, in data order. A start code is 0x00 0x00 0x01,
// and 0x00 0x00 0x00 0x01 when one more zero byte precedes it. Bytes before
// the first start code belong to no unit; emulation prevention is the
// writer's business, so 0x00 0x00 0x01 inside a unit is taken as a start code.
std::vector<NALStartCodeUnit> findNALStartCodeUnits(std::span<const std::uint8_t> data);

}  // namespace fluvio
