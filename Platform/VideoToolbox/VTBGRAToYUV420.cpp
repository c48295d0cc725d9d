#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"

#include <algorithm>
#include <utility>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {
namespace {

// BT.601 video range in 15-bit fixed point; each chroma row's coefficients
// sum to zero, so greys keep exactly 128.
constexpr int yRed = 8414, yGreen = 16519, yBlue = 3209;
constexpr int uRed = -4857, uGreen = -9535, uBlue = 14392;
constexpr int vRed = 14392, vGreen = -12052, vBlue = -2340;
constexpr int shift = 15;
// Chroma sums two pixels across and 1+3+3+1 rows down: sixteen times the value.
constexpr int chromaShift = shift + 4;
// swscale filters shorter pictures otherwise.
constexpr int minimumHeight = 8;

// Inlined into each entry point below, so each gets its own vector code.
#define VT_INLINE [[gnu::always_inline]] inline

VT_INLINE void convertLumaRow(const std::uint8_t* pixels, std::uint8_t* luma, int width) {
  for (int x = 0; x < width; ++x) {
    const int blue = pixels[4 * x], green = pixels[4 * x + 1], red = pixels[4 * x + 2];
    luma[x] = static_cast<std::uint8_t>(
        (yRed * red + yGreen * green + yBlue * blue + (16 << shift) + (1 << (shift - 1))) >> shift);
  }
}

// Blue, green and red sums of each pixel pair, one after the other.
VT_INLINE void sumPairs(const std::uint8_t* pixels, std::uint16_t* sums, int pairs) {
  for (int x = 0; x < pairs; ++x) {
    const std::uint8_t* pair = pixels + 8 * x;
    sums[x] = static_cast<std::uint16_t>(pair[0] + pair[4]);
    sums[pairs + x] = static_cast<std::uint16_t>(pair[1] + pair[5]);
    sums[2 * pairs + x] = static_cast<std::uint16_t>(pair[2] + pair[6]);
  }
}

// Chroma row from the pair sums of four rows, weighted 1:3:3:1.
VT_INLINE void combineChroma(const std::uint16_t* const rows[4], int pairs, std::uint8_t* __restrict u,
                               std::uint8_t* __restrict v) {
  const std::uint16_t *above = rows[0], *upper = rows[1], *lower = rows[2], *below = rows[3];
  for (int x = 0; x < pairs; ++x) {
    const int blue = above[x] + 3 * (upper[x] + lower[x]) + below[x];
    const int green = above[pairs + x] + 3 * (upper[pairs + x] + lower[pairs + x]) + below[pairs + x];
    const int red = above[2 * pairs + x] + 3 * (upper[2 * pairs + x] + lower[2 * pairs + x]) + below[2 * pairs + x];
    constexpr int offset = (128 << chromaShift) + (1 << (chromaShift - 1));
    u[x] = static_cast<std::uint8_t>((uRed * red + uGreen * green + uBlue * blue + offset) >> chromaShift);
    v[x] = static_cast<std::uint8_t>((vRed * red + vGreen * green + vBlue * blue + offset) >> chromaShift);
  }
}

VT_INLINE void readRow(const VTImagePlanes& source, const VTImagePlanes& destination, int y, std::uint16_t* sums) {
  const std::uint8_t* pixels = source.data[0] + static_cast<std::ptrdiff_t>(y) * source.linesize[0];
  convertLumaRow(pixels, destination.data[0] + static_cast<std::ptrdiff_t>(y) * destination.linesize[0],
                 source.width);
  sumPairs(pixels, sums, source.width / 2);
}

// `pairSums` holds four rows of 3 * width / 2 sums.
VT_INLINE void convertPlanes(const VTImagePlanes& source, const VTImagePlanes& destination, std::uint16_t* pairSums) {
  const int height = source.height;
  const int pairs = source.width / 2;
  const auto rowSize = static_cast<std::size_t>(3 * pairs);
  // The four rows around chroma row r are 2r-1 to 2r+2, the ones outside the
  // picture repeating its edge rows; the last two of one chroma row are the
  // first two of the next.
  std::uint16_t* rows[4] = {pairSums, pairSums + rowSize, pairSums + 2 * rowSize, pairSums + 3 * rowSize};
  readRow(source, destination, 0, rows[3]);
  std::copy_n(rows[3], rowSize, rows[2]);
  for (int y = 0; y < height / 2; ++y) {
    std::swap(rows[0], rows[2]);
    std::swap(rows[1], rows[3]);
    readRow(source, destination, 2 * y + 1, rows[2]);
    if (2 * y + 2 < height) {
      readRow(source, destination, 2 * y + 2, rows[3]);
    } else {
      std::copy_n(rows[2], rowSize, rows[3]);
    }
    std::uint8_t* u = destination.data[1] + static_cast<std::ptrdiff_t>(y) * destination.linesize[1];
    std::uint8_t* v = destination.data[2] + static_cast<std::ptrdiff_t>(y) * destination.linesize[2];
    combineChroma(rows, pairs, u, v);
  }
}

using PlaneConverter = void (*)(const VTImagePlanes&, const VTImagePlanes&, std::uint16_t*);

void convertPlanesPortably(const VTImagePlanes& source, const VTImagePlanes& destination, std::uint16_t* pairSums) {
  convertPlanes(source, destination, pairSums);
}

#if defined(__x86_64__)
// About half again as fast with AVX2's wider vectors. Chosen by a plain test
// at run time: a resolver run by the loader would run before a sanitizer's
// runtime is up.
[[gnu::target("avx2")]] void convertPlanesWithAVX2(const VTImagePlanes& source, const VTImagePlanes& destination,
                                                   std::uint16_t* pairSums) {
  convertPlanes(source, destination, pairSums);
}
#endif

PlaneConverter planeConverter() {
#if defined(__x86_64__)
  static const PlaneConverter converter =
      __builtin_cpu_supports("avx2") ? convertPlanesWithAVX2 : convertPlanesPortably;
  return converter;
#else
  return convertPlanesPortably;
#endif
}

}  // namespace

bool VTBGRAToYUV420::accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept {
  return source.format == AV_PIX_FMT_BGRA && destination.format == AV_PIX_FMT_YUV420P && !destination.fullRange &&
         source.width == destination.width && source.height == destination.height && source.width % 2 == 0 &&
         source.height % 2 == 0 && source.height >= minimumHeight;
}

void VTBGRAToYUV420::convert(const VTImagePlanes& source, const VTImagePlanes& destination) {
  pairSums_.resize(4 * static_cast<std::size_t>(3 * (source.width / 2)));
  planeConverter()(source, destination, pairSums_.data());
}

}  // namespace platform
