#pragma once

#include <gtk/gtk.h>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// A texture holding a copy of a 32-bit ARGB buffer's pixels (straight alpha);
// none for another format or a buffer that cannot be locked. The caller owns it.
GdkTexture* makeARGBTexture(platform::CVPixelBuffer& buffer);

}  // namespace fluvio
