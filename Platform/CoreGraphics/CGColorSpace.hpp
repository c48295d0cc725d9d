#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view kCGColorSpaceITUR_709 = "kCGColorSpaceITUR_709";
inline constexpr std::string_view kCGColorSpaceITUR_2100_HLG = "kCGColorSpaceITUR_2100_HLG";
inline constexpr std::string_view kCGColorSpaceGenericLab = "kCGColorSpaceGenericLab";
inline constexpr std::string_view kCGColorSpaceDeviceRGB = "kCGColorSpaceDeviceRGB";

// A named colour space. Pixels here are 8-bit or float RGB interpreted as
// their space says; the name is what renderers and attachments carry.
class CGColorSpace {
 public:
  explicit CGColorSpace(std::string name) : name_(std::move(name)) {}
  const std::string& name() const noexcept { return name_; }

 private:
  std::string name_;
};

// None for a name this layer does not know.
std::shared_ptr<const CGColorSpace> CGColorSpaceCreateWithName(std::string_view name);

}  // namespace platform
