#pragma once

#include <optional>

#include "Platform/CoreGraphics/CGColor.hpp"

namespace fluvio {

// An object whose picture can have a colour keyed out.
class ChromaKeyProcessable {
 public:
  virtual ~ChromaKeyProcessable() = default;
  const std::optional<platform::CGColor>& chromaKeyColor() const noexcept { return chromaKeyColor_; }
  void setChromaKeyColor(std::optional<platform::CGColor> color) { chromaKeyColor_ = std::move(color); }

 private:
  std::optional<platform::CGColor> chromaKeyColor_;
};

}  // namespace fluvio
