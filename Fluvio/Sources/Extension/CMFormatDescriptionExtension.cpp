#include "Fluvio/Sources/Extension/CMFormatDescriptionExtension.hpp"

#include <algorithm>
#include <array>

namespace fluvio {
namespace {

using platform::fourCC;

constexpr std::array<platform::FourCharCode, 57> uncompressedPixelFormats{
    // Monochrome, indexed and RGB formats named by number.
    1, 2, 8, 16, 24, 32, 33, 34, 36, 40,
    fourCC("&8f0"), fourCC("&8v0"), fourCC("&BGA"), fourCC("&xv0"), fourCC("&xv2"),
    fourCC("-8f0"), fourCC("-8v0"), fourCC("-BGA"), fourCC("-xv0"), fourCC("-xv2"),
    fourCC("24BG"), fourCC("2C08"), fourCC("2C0f"), fourCC("2C0h"), fourCC("2vuy"),
    fourCC("420f"), fourCC("420v"), fourCC("5551"), fourCC("ABGR"), fourCC("B565"),
    fourCC("BGRA"), fourCC("L008"), fourCC("L00f"), fourCC("L00h"), fourCC("L555"),
    fourCC("L565"), fourCC("R10k"), fourCC("RGBA"), fourCC("RGfA"), fourCC("RGhA"),
    fourCC("a2vy"), fourCC("b16g"), fourCC("b32a"), fourCC("b48r"), fourCC("b64a"),
    fourCC("f420"), fourCC("r408"), fourCC("v210"), fourCC("v216"), fourCC("v308"),
    fourCC("v408"), fourCC("v410"), fourCC("y408"), fourCC("y416"), fourCC("y420"),
    fourCC("yuvf"), fourCC("yuvs"),
};

}  // namespace

bool isCompressed(const platform::CMFormatDescription& formatDescription) {
  return std::find(uncompressedPixelFormats.begin(), uncompressedPixelFormats.end(),
                   formatDescription.mediaSubType()) == uncompressedPixelFormats.end();
}

}  // namespace fluvio
