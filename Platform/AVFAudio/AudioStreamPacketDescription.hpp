#pragma once

#include <cstdint>

namespace platform {

// Where one packet of a compressed buffer lies in its data.
struct AudioStreamPacketDescription {
  std::int64_t mStartOffset = 0;
  // 0 when every packet of the format has the same number of frames.
  std::uint32_t mVariableFramesInPacket = 0;
  std::uint32_t mDataByteSize = 0;

  friend bool operator==(const AudioStreamPacketDescription&, const AudioStreamPacketDescription&) = default;
};

}  // namespace platform
