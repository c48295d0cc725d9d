#include "Platform/AVFAudio/LibavCodec.hpp"

#include <dlfcn.h>

#include <string>

#include "Platform/OSLog/OSLog.hpp"

namespace platform {

namespace {

const OSLog& log() {
  static const OSLog instance("AVFAudio", "LibavCodec");
  return instance;
}

std::unique_ptr<const LibavCodec> failed(const std::string& reason) {
  log().log(OSLogType::error, reason);
  return nullptr;
}

}  // namespace

std::unique_ptr<const LibavCodec> LibavCodec::open(const char* soname) {
  // Never closed: the codecs' objects may live until the process ends.
  void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    return failed(std::string("cannot open ") + soname + ": " + (error ? error : "unknown error"));
  }
  auto library = std::make_unique<LibavCodec>();
#define PLATFORM_LIBAVCODEC_RESOLVE(name)                                    \
  library->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
  if (!library->name) {                                                      \
    dlclose(handle);                                                         \
    return failed(std::string(soname) + " has no " #name);                   \
  }
  PLATFORM_LIBAVCODEC_FUNCTIONS(PLATFORM_LIBAVCODEC_RESOLVE)
#undef PLATFORM_LIBAVCODEC_RESOLVE
  return library;
}

const LibavCodec* libavcodec() {
  // Kept past static destruction: a codec object freed at exit still needs it.
  static const LibavCodec* const library = LibavCodec::open(libavcodecName).release();
  return library;
}

}  // namespace platform
