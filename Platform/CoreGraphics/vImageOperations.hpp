#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "Platform/CoreGraphics/CGImage.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"

namespace platform {

// Pixel operations on 8-bit ARGB (bytes A, R, G, B, straight alpha) and on
// planar 8-bit and float buffers. Sources and destinations of one call have
// the same width and height; the caller clips them.

// Every pixel becomes `color` (A, R, G, B).
void vImageBufferFill_ARGB8888(const vImage_Buffer& destination, const std::array<std::uint8_t, 4>& color);
void vImageCopyBuffer(const vImage_Buffer& source, const vImage_Buffer& destination, std::size_t bytesPerPixel);
// `top` over `bottom` into `destination` (which may be `bottom`).
void vImageAlphaBlend_ARGB8888(const vImage_Buffer& top, const vImage_Buffer& bottom,
                               const vImage_Buffer& destination);
// Scales the alpha of every pixel by the planar mask (255 keeps it, 0 clears it).
void vImageMultiplyAlpha_ARGB8888(const vImage_Buffer& mask, const vImage_Buffer& image);
// Splits into four float planes scaled from 0...255 to minimum...maximum per channel.
void vImageConvert_ARGB8888toPlanarF(const vImage_Buffer& source, const std::array<vImage_Buffer, 4>& planes,
                                     const std::array<float, 4>& maximum, const std::array<float, 4>& minimum);
// Maps minimum...maximum to 0...255, clamping, rounding to nearest.
void vImageConvert_PlanarFtoPlanar8(const vImage_Buffer& source, const vImage_Buffer& destination, float maximum,
                                    float minimum);

// Converts an image to ARGB8888 in `destination`, reshaped to the image's size
// (gray becomes opaque gray). False when memory cannot be had.
bool vImageBuffer_InitWithCGImage(vImagePixelBuffer& destination, const CGImage& image);

}  // namespace platform
