#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// A preview view as a declarative description: the host's source connects to
// the view when it is made, and each update applies the gravity.
template <class View>
class PreviewViewRepresentable {
 public:
  // What feeds the view (a mixer or a stream the host owns).
  class PreviewSource {
   public:
    virtual ~PreviewSource() = default;
    virtual void connect(View& view) = 0;
  };

  PreviewViewRepresentable(std::shared_ptr<PreviewSource> previewSource, platform::AVLayerVideoGravity videoGravity)
      : previewSource_(std::move(previewSource)), videoGravity_(videoGravity), view_(View::make()) {}

  const std::shared_ptr<View>& view() const noexcept { return view_; }
  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  void setVideoGravity(platform::AVLayerVideoGravity gravity) noexcept { videoGravity_ = gravity; }

  // Selects the view's video track on the main actor.
  PreviewViewRepresentable track(std::optional<std::uint8_t> trackId) const {
    platform::spawn(view_->strand(), [view = view_, trackId]() -> platform::Async<void> {
      co_await view->selectTrack(trackId, platform::kCMMediaType_Video);
    });
    return *this;
  }

  std::shared_ptr<View> makeUIView() const {
    if (previewSource_) previewSource_->connect(*view_);
    return view_;
  }
  void updateUIView(View& view) const { view.setVideoGravity(videoGravity_); }

 private:
  std::shared_ptr<PreviewSource> previewSource_;
  platform::AVLayerVideoGravity videoGravity_;
  std::shared_ptr<View> view_;
};

class MTFVView;
class PiPFVView;
using MTFVViewRepresentable = PreviewViewRepresentable<MTFVView>;
using PiPFVViewRepresentable = PreviewViewRepresentable<PiPFVView>;

}  // namespace fluvio
