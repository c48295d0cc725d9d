#pragma once

#include <memory>
#include <optional>

#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVAssetWriterMuxer.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

// Writes encoded samples as they are: H.264 and HEVC with their avcC/hvcC
// atom and length-prefixed units, AAC with its AudioSpecificConfig cookie.
// The packets share the samples' data. A video track starts at a key frame,
// so frames before the first one (or cut off by the session's start) are
// skipped until the next.
class AVAssetWriterPassthrough {
 public:
  // The track of a format this writes; none for any other.
  static std::optional<AVAssetWriterTrackFormat> trackFormat(const CMFormatDescription& format);

  // The track's format is set with the first sample; later samples must keep it.
  std::optional<AVAssetWriterError> append(const CMSampleBuffer& sampleBuffer, AVAssetWriterMuxer& muxer, int track);

 private:
  std::shared_ptr<const CMFormatDescription> format_;
  AVRational timeBase_{0, 1};
  bool waitsForKeyFrame_ = true;
};

}  // namespace platform
