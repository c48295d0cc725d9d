#pragma once

#include <array>
#include <exception>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"
#include "Platform/CoreGraphics/vImageMultidimensionalTable.hpp"

namespace fluvio {

// Turns a key colour into transparency: an 8-bit alpha mask that is 0 near
// the key in L*a*b* and 255 away from it, with a steep smooth edge. The
// distance field is computed once per key colour as a 32x32x32 table; each
// frame only interpolates in it, into buffers kept per image size.
class ChromaKeyProcessor {
 public:
  class Error : public std::exception {
   public:
    enum class Case { invalidState };
    const char* what() const noexcept override { return "ChromaKeyProcessor.Error.invalidState"; }
    Case value() const noexcept { return Case::invalidState; }
  };

  static constexpr std::size_t entriesPerChannel = 32;

  // The mask for an ARGB8888 image; owned by the processor and valid until
  // the next call for the same size. Throws Error when memory cannot be had.
  const platform::vImage_Buffer& process(const platform::vImage_Buffer& image, const platform::CGColor& chromaKeyColor);
  // The table of a key colour (made on first use); the GPU path keys with it too.
  std::shared_ptr<const platform::vImageMultidimensionalTable> table(const platform::CGColor& chromaKeyColor);

  std::size_t tableCount() const noexcept { return tables_.size(); }
  std::size_t bufferSetCount() const noexcept { return buffers_.size(); }

 private:
  struct Buffers {
    std::array<platform::vImagePixelBuffer, 4> planes;
    platform::vImagePixelBuffer outputF;
    platform::vImagePixelBuffer output8;
  };

  static std::shared_ptr<const platform::vImageMultidimensionalTable> makeTable(const platform::CGColor& color,
                                                                               double threshold);

  std::map<std::vector<platform::CGFloat>, std::shared_ptr<const platform::vImageMultidimensionalTable>> tables_;
  std::map<std::pair<std::size_t, std::size_t>, Buffers> buffers_;
};

}  // namespace fluvio
