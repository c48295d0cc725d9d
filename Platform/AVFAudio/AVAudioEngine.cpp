#include "Platform/AVFAudio/AVAudioEngine.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Platform/AVFAudio/ALSAAudioDevice.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

constexpr double kFallbackSampleRate = 48000;
constexpr AVAudioChannelCount kFallbackChannels = 2;
constexpr AVAudioFrameCount kFallbackFramesPerPeriod = 1024;

void zero(AVAudioPCMBuffer& buffer) {
  for (const AudioBuffer& entry : buffer.mutableAudioBufferList()->buffers()) {
    std::memset(entry.mData, 0, entry.mDataByteSize);
  }
}

}  // namespace

std::shared_ptr<AVAudioEngine> AVAudioEngine::make() {
  std::shared_ptr<AudioOutputDevice> device = ALSAAudioDevice::make();
  if (!device) device = makeFallbackDevice();
  return std::shared_ptr<AVAudioEngine>(new AVAudioEngine(std::move(device), true));
}

std::shared_ptr<AVAudioEngine> AVAudioEngine::make(std::shared_ptr<AudioOutputDevice> device) {
  if (!device) return nullptr;
  return std::shared_ptr<AVAudioEngine>(new AVAudioEngine(std::move(device), false));
}

std::shared_ptr<AudioOutputDevice> AVAudioEngine::makeFallbackDevice() {
  return NullAudioDevice::make(AVAudioFormat::makeStandard(kFallbackSampleRate, kFallbackChannels),
                               kFallbackFramesPerPeriod, NullAudioDevice::Clock::realTime);
}

AVAudioEngine::AVAudioEngine(std::shared_ptr<AudioOutputDevice> device, bool fallsBack)
    : fallsBack_(fallsBack), outputNode_(new AVAudioOutputNode()) {
  useDevice(std::move(device));
}

AVAudioEngine::~AVAudioEngine() {
  device_->stop();
  for (const auto& node : attached_) node->detach();
}

void AVAudioEngine::useDevice(std::shared_ptr<AudioOutputDevice> device) {
  device_ = std::move(device);
  const auto& deviceFormat = device_->format();
  mixFormat_ = AVAudioFormat::makeStandard(deviceFormat->sampleRate(), deviceFormat->channelCount());
  mix_.reset();
  mixesIntoDevice_ = *mixFormat_ == *deviceFormat;
  outputConverter_ = mixesIntoDevice_ ? nullptr : AVAudioConverter::make(mixFormat_, deviceFormat);
  for (auto& connection : connections_) {
    connection = std::make_unique<AudioConnectionRenderer>(connection->node(), connection->format(), mixFormat_);
  }
}

bool AVAudioEngine::isAttached(const AVAudioPlayerNode& node) const {
  return std::any_of(attached_.begin(), attached_.end(), [&](const auto& attached) { return attached.get() == &node; });
}

void AVAudioEngine::removeConnection(const AVAudioPlayerNode& node) {
  std::erase_if(connections_, [&](const auto& connection) { return connection->node().get() == &node; });
}

void AVAudioEngine::attach(std::shared_ptr<AVAudioPlayerNode> node) {
  if (!node || !node->attach(this)) return;
  std::lock_guard lock(mutex_);
  if (!isAttached(*node)) attached_.push_back(std::move(node));
}

void AVAudioEngine::detach(const std::shared_ptr<AVAudioPlayerNode>& node) {
  if (!node) return;
  {
    std::lock_guard lock(mutex_);
    if (!isAttached(*node)) return;
    removeConnection(*node);
    std::erase(attached_, node);
  }
  node->detach();
}

void AVAudioEngine::connect(const std::shared_ptr<AVAudioPlayerNode>& node,
                            const std::shared_ptr<AVAudioOutputNode>& outputNode,
                            const std::shared_ptr<AVAudioFormat>& format) {
  if (!node || outputNode != outputNode_ || !format || format->streamDescription().mFormatID != kAudioFormatLinearPCM) {
    return;
  }
  std::lock_guard lock(mutex_);
  if (!isAttached(*node)) return;
  removeConnection(*node);
  auto& connection = connections_.emplace_back(std::make_unique<AudioConnectionRenderer>(node, format, mixFormat_));
  if (running_) connection->markRenderTime(HostClock::now());
}

void AVAudioEngine::disconnectNodeOutput(const std::shared_ptr<AVAudioPlayerNode>& node) {
  if (!node) return;
  std::lock_guard lock(mutex_);
  if (!isAttached(*node)) return;
  removeConnection(*node);
  node->clearRenderTime();
}

void AVAudioEngine::start() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (running_) return;
  std::shared_ptr<AudioOutputDevice> device;
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    const auto now = HostClock::now();
    for (const auto& connection : connections_) connection->markRenderTime(now);
    device = device_;
  }
  const auto renderBlock = [this](AVAudioPCMBuffer& output, std::uint64_t hostTime) { render(output, hostTime); };
  if (device->start(renderBlock)) return;
  std::lock_guard lock(mutex_);
  if (fallsBack_) {
    useDevice(makeFallbackDevice());
    if (device_->start(renderBlock)) return;
  }
  running_ = false;
  for (const auto& connection : connections_) connection->node()->clearRenderTime();
  throw Error(Error::Case::startFailed);
}

void AVAudioEngine::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!running_) return;
  std::shared_ptr<AudioOutputDevice> device;
  {
    std::lock_guard lock(mutex_);
    running_ = false;
    device = device_;
  }
  // Without the lock: the render thread may be waiting for it.
  device->stop();
  std::lock_guard lock(mutex_);
  for (const auto& connection : connections_) connection->node()->clearRenderTime();
}

AVAudioPCMBuffer* AVAudioEngine::mixBuffer(AVAudioPCMBuffer& output) {
  if (mixesIntoDevice_) return &output;
  if (!mix_ || mix_->frameCapacity() < output.frameLength())
    mix_ = AVAudioPCMBuffer::make(mixFormat_, output.frameLength());
  if (!mix_) return nullptr;
  mix_->setFrameLength(output.frameLength());
  return mix_.get();
}

void AVAudioEngine::deliver(AVAudioPCMBuffer& output) {
  bool delivered = false;
  const auto pullMix = [this, &delivered](AVAudioPacketCount, AVAudioConverterInputStatus& inputStatus) {
    inputStatus = delivered ? AVAudioConverterInputStatus::noDataNow : AVAudioConverterInputStatus::haveData;
    if (delivered) return std::shared_ptr<AVAudioBuffer>();
    delivered = true;
    return std::shared_ptr<AVAudioBuffer>(mix_);
  };
  if (!outputConverter_ ||
      outputConverter_->convert(output, nullptr, pullMix) != AVAudioConverterOutputStatus::haveData) {
    zero(output);
  }
}

void AVAudioEngine::render(AVAudioPCMBuffer& output, std::uint64_t hostTime) {
  std::vector<AVAudioPlayerNode::CompletionHandler> finished;
  {
    std::lock_guard lock(mutex_);
    AVAudioPCMBuffer* mix = mixBuffer(output);
    if (mix) {
      zero(*mix);
      for (const auto& connection : connections_) connection->mix(*mix, output.frameLength(), hostTime, finished);
      if (mix != &output) deliver(output);
    } else {
      zero(output);
    }
  }
  // Outside the lock: a handler may schedule more, or stop the engine.
  for (auto& handler : finished) {
    if (handler) handler();
  }
}

}  // namespace platform
