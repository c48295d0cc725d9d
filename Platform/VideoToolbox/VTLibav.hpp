#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform {

// Owning handles of the codec objects the sessions keep.
struct VTCodecContextDeleter {
  void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};
struct VTFrameDeleter {
  void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct VTPacketDeleter {
  void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};

using VTCodecContextHandle = std::unique_ptr<AVCodecContext, VTCodecContextDeleter>;
using VTFrameHandle = std::unique_ptr<AVFrame, VTFrameDeleter>;
using VTPacketHandle = std::unique_ptr<AVPacket, VTPacketDeleter>;

// Keeps the codec libraries to errors on the console: their per-session
// notices would drown everything else. Done once per process.
void quietCodecLogging();

}  // namespace platform
