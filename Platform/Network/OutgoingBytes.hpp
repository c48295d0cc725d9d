#pragma once

#include <cstdint>
#include <vector>

#include "Platform/Concurrency/BlockPool.hpp"

namespace platform {

// Bytes on their way out to a connection. Made for every message sent and
// freed once it is written, so they come from the block pool: a thread that
// sends at a steady pace takes back the blocks its earlier sends released.
using OutgoingBytes = std::vector<std::uint8_t, detail::BlockAllocator<std::uint8_t>>;

}  // namespace platform
