#pragma once

#include <filesystem>
#include <memory>

#include "Platform/CoreGraphics/CGImage.hpp"

namespace platform {

// PNG files of ARGB images (through cairo). False / none on any failure.
bool writePNG(const CGImage& image, const std::filesystem::path& path);
std::shared_ptr<CGImage> readPNG(const std::filesystem::path& path);

}  // namespace platform
