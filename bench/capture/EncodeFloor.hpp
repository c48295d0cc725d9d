#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace capturebench {

// The least any capture-to-socket path pays for a frame: copy the BGRA
// picture out, bring it to 1280x720 4:2:0 with libyuv, encode it with
// libx264 as the extension's encoder is set up (Baseline 3.1, 2.2 Mbit/s,
// veryfast, zero latency, a key frame every two seconds). Nothing of the
// pipeline takes part.
class EncodeFloor {
 public:
  static constexpr int width = 1280;
  static constexpr int height = 720;

  // Throws std::runtime_error when libx264 cannot be opened.
  EncodeFloor();
  ~EncodeFloor();
  EncodeFloor(const EncodeFloor&) = delete;
  EncodeFloor& operator=(const EncodeFloor&) = delete;

  // Host nanoseconds from the start of the copy until libx264 has handed
  // back the frame's packet.
  std::uint64_t encode(platform::CVPixelBuffer& picture);

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::int64_t nextTimeStamp_ = 0;
  std::vector<std::uint8_t> copy_;
  std::vector<std::uint8_t> scaled_;
};

}  // namespace capturebench
