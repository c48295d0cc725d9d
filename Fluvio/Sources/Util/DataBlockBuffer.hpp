#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "Platform/CoreMedia/CMBlockBuffer.hpp"

namespace fluvio {

// A block buffer of its own holding a copy of `data` from byte `advancedBy`
// on; null when nothing would remain or the platform fails.
std::shared_ptr<platform::CMBlockBuffer> makeBlockBuffer(std::span<const std::uint8_t> data,
                                                         std::size_t advancedBy = 0);

}  // namespace fluvio
