#include "Platform/VideoToolbox/VTLibav.hpp"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace platform {

void quietCodecLogging() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

}  // namespace platform

// libx265 keeps one small block of every encoder it opens after the encoder
// is closed. Not ours to free; the leak checker of sanitized builds is told
// so here, in the library that links it, for every program that does. The
// same holds for the GL driver (Mesa keeps per-process state after its
// display is terminated) and for fontconfig's caches behind text layout.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx265.so\nleak:libEGL_mesa.so\nleak:swrast_dri.so\nleak:libLLVM-15.so\nleak:libglapi.so\n"
         "leak:libfontconfig.so\n";
}
