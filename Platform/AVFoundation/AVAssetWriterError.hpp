#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// Why a writer or one of its inputs failed.
class AVAssetWriterError : public std::exception {
 public:
  enum class Case {
    // Something is at the output URL already.
    fileAlreadyExists,
    // Not a file URL, or its folder does not exist.
    invalidOutputURL,
    // The file could not be opened or written.
    fileWriteFailed,
    // A sample of a format or codec the input does not take.
    mediaNotSupported,
    // A sample whose times or data cannot be written.
    invalidSample,
    // The encoder refused the media or its settings.
    encodingFailed,
    // Finished without any media to write.
    noMediaData,
  };

  AVAssetWriterError(Case errorCase, std::string detail);

  Case errorCase() const noexcept { return case_; }
  const std::string& detail() const noexcept { return detail_; }
  // "AVAssetWriterError.<case>: <detail>".
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  Case case_;
  std::string detail_;
  std::string message_;
};

// Where a writer is in its life.
enum class AVAssetWriterStatus : std::int64_t {
  unknown = 0,
  writing = 1,
  completed = 2,
  failed = 3,
  cancelled = 4,
};

constexpr std::int64_t rawValue(AVAssetWriterStatus status) noexcept { return static_cast<std::int64_t>(status); }

}  // namespace platform
