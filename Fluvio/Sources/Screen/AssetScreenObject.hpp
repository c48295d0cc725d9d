#pragma once

#include <memory>
#include <optional>

#include "Fluvio/Sources/Screen/ChromaKeyProcessable.hpp"
#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Platform/AVFoundation/AVAssetReader.hpp"
#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"

namespace fluvio {

// Plays the first video track of a movie file in real time from
// startReading: each draw advances at most one frame, once the host time
// since the start has reached the frame on show. Does not loop.
class AssetScreenObject : public ScreenObject, public ChromaKeyProcessable {
 public:
  static std::shared_ptr<AssetScreenObject> make() { return std::make_shared<AssetScreenObject>(); }
  ~AssetScreenObject() override;

  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  void setVideoGravity(platform::AVLayerVideoGravity gravity);
  bool isReading() const noexcept;

  // Throws platform::AVAssetReader::Error when the asset cannot be read.
  void startReading(const platform::AVAsset& asset);
  void cancelReading();

  ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer) override;
  ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer) override;
  platform::CGRect makeBounds(const platform::CGSize& size) override;
  void draw(ScreenRenderer& renderer) override;

 private:
  void setReader(std::shared_ptr<platform::AVAssetReader> reader);
  void setSampleBuffer(std::optional<platform::CMSampleBuffer> sampleBuffer);

  platform::AVLayerVideoGravity videoGravity_ = platform::AVLayerVideoGravity::resizeAspect;
  std::shared_ptr<platform::AVAssetReader> reader_;
  std::optional<platform::CMSampleBuffer> sampleBuffer_;
  platform::CMTime startedAt_ = platform::CMTime::zero;
  std::shared_ptr<platform::CGImage> bitmap_;  // the last picture, drawn over again while its size stays
};

}  // namespace fluvio
