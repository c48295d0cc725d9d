#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include "Platform/AVFAudio/LibavCodec.hpp"

namespace platform {

// Owning handles for the codec library's objects. A codec context or packet
// exists only once the codec library has been opened.
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const noexcept { libavcodec()->avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const noexcept { libavcodec()->av_packet_free(&packet); }
};
struct ResamplerDeleter {
  void operator()(SwrContext* context) const noexcept { swr_free(&context); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const noexcept { av_audio_fifo_free(fifo); }
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerDeleter>;
using AudioFifoHandle = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

inline std::string libavErrorString(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace platform
