#include "Fluvio/Sources/View/Gtk/PixelBufferTexture.hpp"

namespace fluvio {

using namespace platform;

GdkTexture* makeARGBTexture(CVPixelBuffer& buffer) {
  if (buffer.pixelFormatType() != kCVPixelFormatType_32ARGB) return nullptr;
  if (buffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly) != kCVReturnSuccess) return nullptr;
  GBytes* bytes = g_bytes_new(buffer.baseAddress(), buffer.bytesPerRow() * buffer.height());
  buffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  GdkTexture* texture = gdk_memory_texture_new(static_cast<int>(buffer.width()), static_cast<int>(buffer.height()),
                                               GDK_MEMORY_A8R8G8B8, bytes, buffer.bytesPerRow());
  g_bytes_unref(bytes);
  return texture;
}

}  // namespace fluvio
