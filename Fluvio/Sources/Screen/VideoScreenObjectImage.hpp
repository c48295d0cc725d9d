#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class ScreenRenderer;

// Shared rules of the objects that show video frames.
namespace videoscreenobject {

// The frame scaled by the gravity into `bounds`, cut to the gravity's region
// and moved to the origin.
platform::CIImage::Pointer makeImage(const platform::CIImage::Pointer& frame, platform::AVLayerVideoGravity gravity,
                                     const platform::CGRect& bounds);
// The picture of the frame on show; empty without one.
ScreenObjectImage<platform::CIImage> makeCIImage(const std::optional<platform::CMSampleBuffer>& frame,
                                                 platform::AVLayerVideoGravity gravity, const platform::CGRect& bounds);
// The recipe rendered to a bitmap by the renderer's context, into `bitmap`
// (the object's last one) when it is free and of the same size; `bitmap`
// then holds the new one.
ScreenObjectImage<platform::CGImage> makeCGImage(const ScreenObjectImage<platform::CIImage>& image,
                                                 ScreenRenderer& renderer, std::shared_ptr<platform::CGImage>& bitmap);
// Under resizeAspect the box shrinks to the frame's aspect ratio.
platform::CGRect makeBounds(ScreenObject& object, const platform::CGSize& size,
                            const platform::CMSampleBuffer* reference, platform::AVLayerVideoGravity gravity,
                            const std::function<platform::CGRect(const platform::CGSize&)>& baseBounds);

}  // namespace videoscreenobject

}  // namespace fluvio
