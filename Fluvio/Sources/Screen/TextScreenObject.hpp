#pragma once

#include <memory>
#include <string>

#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Platform/CoreGraphics/CGContext.hpp"
#include "Platform/CoreText/CTFramesetter.hpp"

namespace fluvio {

// Renders a string (bold sans, 32 px, white by default) as large as the text
// needs within the space its size and margins allow.
class TextScreenObject : public ScreenObject {
 public:
  static std::shared_ptr<TextScreenObject> make() { return std::make_shared<TextScreenObject>(); }

  const std::string& string() const noexcept { return string_; }
  void setString(std::string string);
  const platform::CTAttributes& attributes() const noexcept { return attributes_; }
  void setAttributes(platform::CTAttributes attributes);

  // A new bitmap whenever the bounds change.
  void setBounds(const platform::CGRect& bounds) override;
  platform::CGRect makeBounds(const platform::CGSize& size) override;
  ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer) override;
  ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer) override;

 private:
  std::string string_;
  platform::CTAttributes attributes_;
  std::shared_ptr<platform::CGContext> context_;
  std::shared_ptr<platform::CTFramesetter> framesetter_;
};

}  // namespace fluvio
