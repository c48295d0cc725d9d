#pragma once

#include <memory>

#include "Fluvio/Sources/Codec/VTSessionConvertible.hpp"
#include "Platform/VideoToolbox/VTDecompressionSession.hpp"

namespace fluvio {

// The platform's decompression session as a VTSessionConvertible. Decoded
// pictures are yielded as ready sample buffers with their presentation time
// and duration and no decode time.
class VTDecompressionSessionAdapter final : public VTSessionConvertible {
 public:
  // A session for `inputFormat`; throws VTSessionError, failedToCreate with
  // kVTParameterErr when there is no input format.
  static std::shared_ptr<VTDecompressionSessionAdapter> make(
      const std::shared_ptr<const platform::CMFormatDescription>& inputFormat);

  explicit VTDecompressionSessionAdapter(std::shared_ptr<platform::VTDecompressionSession> session)
      : session_(std::move(session)) {}

  platform::OSStatus applyOption(const VTSessionOption& option) override;
  void convert(const platform::CMSampleBuffer& sampleBuffer, const Continuation& continuation) override;
  platform::Async<void> room() override { return session_->room(); }
  void completeFramesThenInvalidate(std::function<void()> completed) override {
    session_->finishDelayedFramesThenInvalidate(std::move(completed));
  }
  void invalidate() override { session_->invalidate(); }

  const std::shared_ptr<platform::VTDecompressionSession>& session() const noexcept { return session_; }

 protected:
  platform::OSStatus setProperties(const platform::VTPropertyDictionary& properties) override;

 private:
  std::shared_ptr<platform::VTDecompressionSession> session_;
};

}  // namespace fluvio
