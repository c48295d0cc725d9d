#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/VTSessionOption.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

struct VideoCodecSettings;

// A compression or a decompression session behind one interface, so the
// codec can hold either. Converted frames are yielded into the continuation
// from the session's own thread, possibly after convert has returned.
class VTSessionConvertible {
 public:
  using Continuation = platform::AsyncStream<platform::CMSampleBuffer>::Continuation;

  virtual ~VTSessionConvertible() = default;

  // Sets one property; the platform status.
  virtual platform::OSStatus applyOption(const VTSessionOption& option) = 0;
  // Submits one frame; throws VTSessionError when the session refuses it.
  virtual void convert(const platform::CMSampleBuffer& sampleBuffer, const Continuation& continuation) = 0;
  // Resumes once the session takes another frame without waiting; a
  // producer on the pool awaits it before convert.
  virtual platform::Async<void> room() = 0;
  // Emits every frame the session still holds (an encoder's look-ahead, a
  // decoder's reorder queue), then calls `completed` on the session's own
  // thread and ends the session. Returns at once.
  virtual void completeFramesThenInvalidate(std::function<void()> completed) = 0;
  // Ends the session; frames still in it are dropped.
  virtual void invalidate() = 0;
  // Makes the next frame converted a key frame; a decoder has none to make.
  virtual void requestKeyFrame() {}

  // Sets every option in one call; the platform status.
  platform::OSStatus applyOptions(const VTSessionOptionSet& options);

 protected:
  virtual platform::OSStatus setProperties(const platform::VTPropertyDictionary& properties) = 0;
};

enum class VTSessionMode { compression, decompression };

// The pixel-buffer attributes a new session of `mode` receives for the
// codec's input format; none means no attributes.
std::optional<platform::CVPixelBufferAttributes> makeImageBufferAttributes(
    VTSessionMode mode, const std::shared_ptr<const platform::CMFormatDescription>& inputFormat);

// A decompression session for `inputFormat` when decoding, else a compression
// session for `settings`, prepared and configured; throws VTSessionError.
std::shared_ptr<VTSessionConvertible> makeSession(const VideoCodecSettings& settings,
                                                  const std::shared_ptr<const platform::CMFormatDescription>& inputFormat,
                                                  bool decoding);

}  // namespace fluvio
