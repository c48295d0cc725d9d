#include "Fluvio/Sources/Mixer/VideoCaptureUnit.hpp"

#include <algorithm>

namespace fluvio {

std::shared_ptr<VideoCaptureUnit> VideoCaptureUnit::make(std::shared_ptr<CaptureSessionConvertible> session) {
  auto unit = std::shared_ptr<VideoCaptureUnit>(new VideoCaptureUnit(std::move(session)));
  unit->videoMixer_.setDelegate(unit);
  return unit;
}

void VideoCaptureUnit::attachVideo(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                   const Configuration& configuration) {
  devices_.detach(track);
  onQueue([track](VideoCaptureUnit& self) {
    self.videoMixer_.removeInputFormat(track);
    std::lock_guard lock(self.mutex_);
    self.inputFormats_ = self.videoMixer_.inputFormats();
  });
  if (!device) return;
  const bool anotherCamera =
      std::any_of(devices().begin(), devices().end(), [](const auto& entry) { return entry.second->device() != nullptr; });
  if (anotherCamera && !session_->isMultiCamSessionEnabled()) throw Error();
  auto unit = std::make_shared<VideoDeviceUnit>(track, device);
  try {
    unit->setDynamicRangeMode(dynamicRangeMode_);
  } catch (...) {
    // The camera keeps its own format.
  }
  unit->setVideoOrientation(videoOrientation_);
  unit->setSampleBufferDelegate(sink(), lockQueue_);
  devices_.attach(unit, configuration);
  for (const auto& connection : unit->output()->connections()) {
    if (connection->isVideoMirroringSupported()) connection->setVideoMirrored(unit->isVideoMirrored());
    if (connection->isVideoOrientationSupported()) connection->setVideoOrientation(unit->videoOrientation());
    if (connection->isVideoStabilizationSupported()) {
      connection->setPreferredVideoStabilizationMode(unit->preferredVideoStabilizationMode());
    }
  }
}

void VideoCaptureUnit::setTorchEnabled(bool enabled) {
  isTorchEnabled_ = enabled;
  for (const auto& [track, unit] : devices()) {
    unit->setTorchMode(enabled ? platform::AVCaptureTorchMode::on : platform::AVCaptureTorchMode::off);
  }
}

void VideoCaptureUnit::applyVideoOrientation() {
  for (const auto& [track, unit] : devices()) unit->setVideoOrientation(videoOrientation_);
}

void VideoCaptureUnit::applyDynamicRangeMode() {
  for (const auto& [track, unit] : devices()) unit->setDynamicRangeMode(dynamicRangeMode_);
}

VideoMixerSettings VideoCaptureUnit::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void VideoCaptureUnit::setSettings(VideoMixerSettings settings) {
  {
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }
  onQueue([settings](VideoCaptureUnit& self) { self.videoMixer_.setSettings(settings); });
}

VideoMixer::InputFormats VideoCaptureUnit::inputFormats() const {
  std::lock_guard lock(mutex_);
  return inputFormats_;
}

void VideoCaptureUnit::appendOnQueue(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  videoMixer_.append(sampleBuffer, track);
  std::lock_guard lock(mutex_);
  inputFormats_ = videoMixer_.inputFormats();
}

platform::AsyncStream<VideoCaptureUnit::Input> VideoCaptureUnit::inputs() {
  std::lock_guard lock(mutex_);
  return inputs_.wrappedValue();
}

platform::AsyncStream<platform::CMSampleBuffer> VideoCaptureUnit::output() {
  std::lock_guard lock(mutex_);
  return output_.wrappedValue();
}

void VideoCaptureUnit::finishFlows() {
  std::lock_guard lock(mutex_);
  inputs_.finish();
  output_.finish();
}

void VideoCaptureUnit::didInput(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  std::lock_guard lock(mutex_);
  inputs_.yield({track, sampleBuffer});
}

void VideoCaptureUnit::didOutput(const platform::CMSampleBuffer& sampleBuffer) {
  std::lock_guard lock(mutex_);
  output_.yield(sampleBuffer);
}

}  // namespace fluvio
