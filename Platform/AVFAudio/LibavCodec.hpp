#pragma once

// Declarations only: the codec library is opened on first use, so a process
// that never decodes nor falls back to its encoders never maps it (and the
// ninety-odd libraries it pulls in).
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

namespace platform {

// The codec library's functions that this code calls, listed once.
// clang-format off
#define PLATFORM_LIBAVCODEC_FUNCTIONS(function)                                                    \
  function(avcodec_find_encoder_by_name) function(avcodec_find_decoder_by_name)                    \
  function(avcodec_find_decoder) function(avcodec_alloc_context3) function(avcodec_free_context)   \
  function(avcodec_open2) function(avcodec_send_frame) function(avcodec_receive_packet)            \
  function(avcodec_send_packet) function(avcodec_receive_frame) function(avcodec_flush_buffers)    \
  function(av_packet_alloc) function(av_packet_free) function(av_packet_unref) function(av_new_packet)
// clang-format on

// The opened codec library: one typed pointer per function.
struct LibavCodec {
#define PLATFORM_LIBAVCODEC_POINTER(name) decltype(&::name) name = nullptr;
  PLATFORM_LIBAVCODEC_FUNCTIONS(PLATFORM_LIBAVCODEC_POINTER)
#undef PLATFORM_LIBAVCODEC_POINTER

  // Opens `soname` and resolves every function; nothing, with an error in
  // the system log naming the library, when either fails.
  static std::unique_ptr<const LibavCodec> open(const char* soname);
};

// The library these headers describe, by the name the loader opens.
inline constexpr const char* libavcodecName = "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);

// The process's codec library, opened once on the first call from any
// thread; null (logged once) when it is missing.
const LibavCodec* libavcodec();

}  // namespace platform
