#pragma once

#include <memory>

#include "Fluvio/Sources/Codec/VTSessionConvertible.hpp"
#include "Platform/VideoToolbox/VTCompressionSession.hpp"

namespace fluvio {

// The platform's compression session as a VTSessionConvertible.
class VTCompressionSessionAdapter final : public VTSessionConvertible {
 public:
  // Creates, configures and prepares a session for `settings`; throws VTSessionError.
  static std::shared_ptr<VTCompressionSessionAdapter> make(
      const VideoCodecSettings& settings, const std::shared_ptr<const platform::CMFormatDescription>& inputFormat);

  explicit VTCompressionSessionAdapter(std::shared_ptr<platform::VTCompressionSession> session)
      : session_(std::move(session)) {}

  platform::OSStatus applyOption(const VTSessionOption& option) override;
  // A sample buffer without an image buffer is taken and produces nothing.
  void convert(const platform::CMSampleBuffer& sampleBuffer, const Continuation& continuation) override;
  platform::Async<void> room() override { return session_->room(); }
  void completeFramesThenInvalidate(std::function<void()> completed) override {
    session_->completeFramesThenInvalidate(std::move(completed));
  }
  void invalidate() override { session_->invalidate(); }
  void requestKeyFrame() override { session_->requestKeyFrame(); }

  const std::shared_ptr<platform::VTCompressionSession>& session() const noexcept { return session_; }

 protected:
  platform::OSStatus setProperties(const platform::VTPropertyDictionary& properties) override;

 private:
  std::shared_ptr<platform::VTCompressionSession> session_;
};

}  // namespace fluvio
