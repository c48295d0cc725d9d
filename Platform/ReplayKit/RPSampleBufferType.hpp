#pragma once

namespace platform {

// What a sample buffer delivered to a broadcast extension holds.
enum class RPSampleBufferType : int {
  video = 1,
  audioApp = 2,
  audioMic = 3,
};

}  // namespace platform
