#include "Platform/AVFoundation/AVAssetWriterError.hpp"

#include <string_view>

namespace platform {
namespace {

std::string_view caseName(AVAssetWriterError::Case errorCase) {
  switch (errorCase) {
    case AVAssetWriterError::Case::fileAlreadyExists:
      return "fileAlreadyExists";
    case AVAssetWriterError::Case::invalidOutputURL:
      return "invalidOutputURL";
    case AVAssetWriterError::Case::fileWriteFailed:
      return "fileWriteFailed";
    case AVAssetWriterError::Case::mediaNotSupported:
      return "mediaNotSupported";
    case AVAssetWriterError::Case::invalidSample:
      return "invalidSample";
    case AVAssetWriterError::Case::encodingFailed:
      return "encodingFailed";
    case AVAssetWriterError::Case::noMediaData:
      return "noMediaData";
  }
  return "unknown";
}

}  // namespace

AVAssetWriterError::AVAssetWriterError(Case errorCase, std::string detail)
    : case_(errorCase),
      detail_(std::move(detail)),
      message_("AVAssetWriterError." + std::string(caseName(errorCase)) + (detail_.empty() ? "" : ": " + detail_)) {}

}  // namespace platform
