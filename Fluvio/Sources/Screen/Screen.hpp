#pragma once

#include <memory>
#include <optional>

#include "Fluvio/Sources/Screen/DynamicRangeMode.hpp"
#include "Fluvio/Sources/Screen/ScreenObjectContainer.hpp"
#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"
#include "Fluvio/Sources/Screen/VideoTrackScreenObject.hpp"
#include "Fluvio/Sources/Stream/DisplayLinkTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

namespace fluvio {

class Screen;

// Told before each layout pass.
class ScreenDelegate {
 public:
  virtual ~ScreenDelegate() = default;
  virtual void screen(Screen& screen, const platform::CMTime& willLayout) = 0;
};

// The off-screen compositing surface: a tree of screen objects (its root
// always holds the main video track), a renderer and a pool of frames. On
// each display-link tick it renders one frame with a presentation time that
// never moves backwards. Used on ScreenActor only.
class Screen final : public ScreenObjectContainerConvertible {
 public:
  static std::shared_ptr<Screen> make() { return std::make_shared<Screen>(); }
  Screen();

  void setDelegate(std::weak_ptr<ScreenDelegate> delegate) { delegate_ = std::move(delegate); }

  const platform::CGSize& size() const noexcept { return size_; }
  // False (nothing changes) for a size that is not finite or not within 1...16384.
  bool setSize(const platform::CGSize& size);
  bool isGPURendererEnabled() const noexcept { return isGPURendererEnabled_; }
  void setGPURendererEnabled(bool enabled);
  const platform::CGColor& backgroundColor() const noexcept { return backgroundColor_; }
  void setBackgroundColor(const platform::CGColor& color);
  DynamicRangeMode dynamicRangeMode() const noexcept { return dynamicRangeMode_; }
  void setDynamicRangeMode(DynamicRangeMode mode);

  ScreenRenderer& renderer() noexcept { return *renderer_; }
  const std::shared_ptr<VideoTrackScreenObject>& videoTrackScreenObject() const noexcept {
    return videoTrackScreenObject_;
  }
  // Every object of the tree, depth first (for placing frames into video tracks).
  const std::shared_ptr<ScreenObjectContainer>& root() const noexcept { return root_; }
  std::size_t childCounts() const noexcept { return root_->childCounts(); }
  double targetTimestamp() const noexcept { return targetTimestamp_; }
  double videoCaptureLatency() const noexcept { return videoCaptureLatency_; }
  const platform::CMTime& presentationTimeStamp() const noexcept { return presentationTimeStamp_; }
  const std::shared_ptr<platform::CVPixelBufferPool>& pixelBufferPool() const noexcept { return pixelBufferPool_; }

  void addChild(const std::shared_ptr<ScreenObject>& child) override;
  void removeChild(const std::shared_ptr<ScreenObject>& child) override;
  bool registerVideoEffect(const std::shared_ptr<VideoEffect>& effect);
  bool unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect);

  // One rendered frame for a tick; none when no buffer can be had or the
  // tick lies before the last frame's tick. Frame times never move backwards,
  // also when the capture latency grows.
  std::optional<platform::CMSampleBuffer> makeSampleBuffer(const DisplayLinkTime& tick);
  // The presentation time of a main-track frame: the latency between capture and display.
  void setVideoCaptureLatency(const platform::CMTime& presentationTimeStamp);

 private:
  std::unique_ptr<ScreenRenderer> makeRenderer() const;
  void installRenderer(std::unique_ptr<ScreenRenderer> renderer);
  void makePool();
  void render(const platform::CMSampleBuffer& sampleBuffer);

  std::weak_ptr<ScreenDelegate> delegate_;
  platform::CGSize size_{1280, 720};
  bool isGPURendererEnabled_ = false;
  platform::CGColor backgroundColor_ = platform::CGColor::black();
  DynamicRangeMode dynamicRangeMode_ = DynamicRangeMode::sdr;
  std::unique_ptr<ScreenRenderer> renderer_;
  double targetTimestamp_ = 0;
  double frameTimestamp_ = 0;  // tick time of the last frame made
  std::shared_ptr<VideoTrackScreenObject> videoTrackScreenObject_;
  double videoCaptureLatency_ = 0;
  std::shared_ptr<ScreenObjectContainer> root_;
  std::shared_ptr<const platform::CMFormatDescription> outputFormat_;
  std::shared_ptr<platform::CVPixelBufferPool> pixelBufferPool_;
  platform::CMTime presentationTimeStamp_ = platform::CMTime::zero;
};

}  // namespace fluvio
