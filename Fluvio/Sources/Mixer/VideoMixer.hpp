#pragma once

#include <cstdint>
#include <map>
#include <memory>

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
// passthrough mode, outputs the main track's frames; while muted each of
// them is replaced by a new black frame of the same format, size and timing
// (the captured frame is never written). Used from one context at a time
// (the video capture unit's queue).
class VideoMixer {
 public:
  using InputFormats = std::map<std::uint8_t, std::shared_ptr<const platform::CMFormatDescription>>;

  void setDelegate(std::weak_ptr<VideoMixerDelegate> delegate) { delegate_ = std::move(delegate); }
  const VideoMixerSettings& settings() const noexcept { return settings_; }
  void setSettings(VideoMixerSettings settings) noexcept { settings_ = settings; }
  const InputFormats& inputFormats() const noexcept { return inputFormats_; }
  void removeInputFormat(std::uint8_t track) { inputFormats_.erase(track); }
  // The picture of the last live main-track frame output.
  const std::shared_ptr<platform::CVPixelBuffer>& currentPixelBuffer() const noexcept { return currentPixelBuffer_; }

  void append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track);

  // A black frame like `sampleBuffer`; none without a picture of a known format.
  static std::shared_ptr<platform::CMSampleBuffer> makeBlackFrame(const platform::CMSampleBuffer& sampleBuffer);

 private:
  std::weak_ptr<VideoMixerDelegate> delegate_;
  VideoMixerSettings settings_;
  InputFormats inputFormats_;
  std::shared_ptr<platform::CVPixelBuffer> currentPixelBuffer_;
};

}  // namespace fluvio
