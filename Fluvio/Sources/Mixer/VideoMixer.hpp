#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Mixer/VideoMixerSettings.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// Receives every frame that enters the video mixer, and its output.
class VideoMixerDelegate {
 public:
  virtual ~VideoMixerDelegate() = default;
  virtual void didInput(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) = 0;
  virtual void didOutput(const platform::CMSampleBuffer& sampleBuffer) = 0;
};

// Records each track's format, reports every frame as an input and, in
// passthrough mode, outputs the main track's frames. While muted every output
// frame shows the picture that was current when muting began, with the live
// frame's timing: one copy of it, made when muting began, in a buffer of its
// own, so no frame handed on before or since is ever written. Used from one
// context at a time (the video capture unit's queue).
class VideoMixer {
 public:
  using InputFormats = std::map<std::uint8_t, std::shared_ptr<const platform::CMFormatDescription>>;

  void setDelegate(std::weak_ptr<VideoMixerDelegate> delegate) { delegate_ = std::move(delegate); }
  const VideoMixerSettings& settings() const noexcept { return settings_; }
  void setSettings(VideoMixerSettings settings) noexcept;
  const InputFormats& inputFormats() const noexcept { return inputFormats_; }
  void removeInputFormat(std::uint8_t track) { inputFormats_.erase(track); }
  // The picture of the last live main-track frame output.
  const std::shared_ptr<platform::CVPixelBuffer>& currentPixelBuffer() const noexcept { return currentPixelBuffer_; }

  void append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track);

 private:
  struct FrozenPicture {
    std::shared_ptr<platform::CVPixelBuffer> picture;
    // For when the live frames no longer share the picture's size or format.
    std::shared_ptr<const platform::CMFormatDescription> formatDescription;
  };

  // Outputs the frozen picture, made from the current one on the first call, in place of `live`.
  void outputFrozen(const platform::CMSampleBuffer& live, VideoMixerDelegate* delegate);

  std::weak_ptr<VideoMixerDelegate> delegate_;
  VideoMixerSettings settings_;
  InputFormats inputFormats_;
  std::shared_ptr<platform::CVPixelBuffer> currentPixelBuffer_;
  std::optional<FrozenPicture> frozen_;
};

}  // namespace fluvio
