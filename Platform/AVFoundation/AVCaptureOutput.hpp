#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/AVFoundation/AVCaptureTypes.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

class AVCaptureOutput;
class AVCaptureConnection;

// Receives a data output's sample buffers on the output's delegate queue.
class AVCaptureDataOutputSampleBufferDelegate {
 public:
  virtual ~AVCaptureDataOutputSampleBufferDelegate() = default;
  virtual void captureOutput(AVCaptureOutput& output, const CMSampleBuffer& sampleBuffer,
                             AVCaptureConnection& connection) = 0;
};

// Where a session's media goes: a data output hands each buffer to its
// delegate, one at a time, on the delegate's serial queue. The delegate is
// held weakly. Safe to configure while buffers arrive.
class AVCaptureOutput {
 public:
  virtual ~AVCaptureOutput() = default;
  AVCaptureOutput(const AVCaptureOutput&) = delete;
  AVCaptureOutput& operator=(const AVCaptureOutput&) = delete;

  AVMediaType mediaType() const noexcept { return mediaType_; }
  std::vector<std::shared_ptr<AVCaptureConnection>> connections() const;

  // No delegate or no queue: buffers are dropped.
  void setSampleBufferDelegate(std::weak_ptr<AVCaptureDataOutputSampleBufferDelegate> delegate,
                               std::shared_ptr<const SerialQueue> queue);
  std::shared_ptr<AVCaptureDataOutputSampleBufferDelegate> sampleBufferDelegate() const;

  // The session's side: wiring and delivery.
  void addConnection(std::shared_ptr<AVCaptureConnection> connection);
  void removeConnection(const AVCaptureConnection& connection);
  void deliver(const CMSampleBuffer& sampleBuffer, const std::shared_ptr<AVCaptureConnection>& connection);

 protected:
  explicit AVCaptureOutput(AVMediaType mediaType) : mediaType_(mediaType) {}
  // Whether a buffer that comes while the delegate is still busy is dropped.
  virtual bool discardsLateBuffers() const { return false; }

 private:
  AVMediaType mediaType_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<AVCaptureConnection>> connections_;
  std::weak_ptr<AVCaptureDataOutputSampleBufferDelegate> delegate_;
  std::shared_ptr<const SerialQueue> queue_;
  std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
};

class AVCaptureVideoDataOutput final : public AVCaptureOutput {
 public:
  AVCaptureVideoDataOutput() : AVCaptureOutput(AVMediaTypeVideo) {}
  bool alwaysDiscardsLateVideoFrames() const noexcept { return discards_; }
  void setAlwaysDiscardsLateVideoFrames(bool discards) noexcept { discards_ = discards; }

 private:
  bool discardsLateBuffers() const override { return discards_; }
  std::atomic<bool> discards_{true};
};

class AVCaptureAudioDataOutput final : public AVCaptureOutput {
 public:
  AVCaptureAudioDataOutput() : AVCaptureOutput(AVMediaTypeAudio) {}
};

}  // namespace platform
