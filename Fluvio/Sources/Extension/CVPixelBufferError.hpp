#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// Failure of the pixel-buffer operations, with the platform's status or the
// pixel format that could not be read.
class CVPixelBufferError : public std::exception {
 public:
  enum class Case { failedToLock, failedToUnlock, unsupportedFormat };

  static CVPixelBufferError failedToLock(platform::CVReturn status) { return {Case::failedToLock, status}; }
  static CVPixelBufferError failedToUnlock(platform::CVReturn status) { return {Case::failedToUnlock, status}; }
  static CVPixelBufferError unsupportedFormat(platform::OSType format) {
    return {Case::unsupportedFormat, static_cast<std::int64_t>(format)};
  }

  Case value() const noexcept { return case_; }
  // The status of a lock or unlock, or the pixel format code.
  std::int64_t detail() const noexcept { return detail_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  CVPixelBufferError(Case value, std::int64_t detail);

  Case case_;
  std::int64_t detail_;
  std::string message_;
};

}  // namespace fluvio
