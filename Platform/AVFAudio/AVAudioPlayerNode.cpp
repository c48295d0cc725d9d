#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace platform {

namespace {

void callAll(std::vector<AVAudioPlayerNode::CompletionHandler>& handlers) {
  for (auto& handler : handlers) {
    if (handler) handler();
  }
}

// Copies `frames` frames of `source` from `sourceFrame` to `destination` at
// `destinationFrame`; both buffers are of one format.
void copyFrames(const AVAudioPCMBuffer& source, AVAudioFrameCount sourceFrame, AVAudioPCMBuffer& destination,
                AVAudioFrameCount destinationFrame, AVAudioFrameCount frames) {
  const std::size_t bytesPerFrame = source.format()->streamDescription().mBytesPerFrame;
  const auto from = source.audioBufferList()->buffers();
  const auto to = destination.mutableAudioBufferList()->buffers();
  for (std::size_t index = 0; index < from.size() && index < to.size(); ++index) {
    std::memcpy(static_cast<std::byte*>(to[index].mData) + destinationFrame * bytesPerFrame,
                static_cast<const std::byte*>(from[index].mData) + sourceFrame * bytesPerFrame, frames * bytesPerFrame);
  }
}

void zeroFrames(AVAudioPCMBuffer& buffer, AVAudioFrameCount frames) {
  const std::size_t bytesPerFrame = buffer.format()->streamDescription().mBytesPerFrame;
  for (const AudioBuffer& entry : buffer.mutableAudioBufferList()->buffers()) {
    std::memset(entry.mData, 0, frames * bytesPerFrame);
  }
}

}  // namespace

void AVAudioPlayerNode::scheduleBuffer(std::shared_ptr<AVAudioPCMBuffer> buffer,
                                       const std::shared_ptr<AVAudioTime>& when, CompletionHandler completionHandler) {
  if (!buffer) {
    if (completionHandler) completionHandler();
    return;
  }
  std::lock_guard lock(mutex_);
  scheduled_.push_back({std::move(buffer), startPosition(when), 0, std::move(completionHandler)});
}

std::optional<AVAudioFramePosition> AVAudioPlayerNode::startPosition(const std::shared_ptr<AVAudioTime>& when) const {
  if (!when || !when->isSampleTimeValid()) return std::nullopt;
  const double connectionRate = renderTime_ ? renderTime_->sampleRate : 0;
  if (connectionRate > 0 && when->sampleRate() > 0 && when->sampleRate() != connectionRate) {
    return std::llround(static_cast<double>(when->sampleTime()) * connectionRate / when->sampleRate());
  }
  return when->sampleTime();
}

void AVAudioPlayerNode::play() {
  std::lock_guard lock(mutex_);
  if (playing_) return;
  playing_ = true;
  // The player time goes on from where it stood, whatever the node time is now.
  playerOffset_ = (renderTime_ ? renderTime_->sampleTime : 0) - playerSampleTime_;
}

void AVAudioPlayerNode::pause() {
  std::lock_guard lock(mutex_);
  playing_ = false;
}

void AVAudioPlayerNode::stop() {
  std::vector<CompletionHandler> dropped;
  {
    std::lock_guard lock(mutex_);
    playing_ = false;
    dropped = dropScheduled();
    playerSampleTime_ = 0;
  }
  callAll(dropped);
}

std::vector<AVAudioPlayerNode::CompletionHandler> AVAudioPlayerNode::dropScheduled() {
  std::vector<CompletionHandler> dropped;
  dropped.reserve(scheduled_.size());
  for (auto& scheduled : scheduled_) dropped.push_back(std::move(scheduled.completionHandler));
  scheduled_.clear();
  return dropped;
}

bool AVAudioPlayerNode::isPlaying() const {
  std::lock_guard lock(mutex_);
  return playing_;
}

void AVAudioPlayerNode::setVolume(float volume) noexcept {
  volume_.store(std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f), std::memory_order_relaxed);
}

void AVAudioPlayerNode::setPan(float pan) noexcept {
  pan_.store(std::isnan(pan) ? 0.0f : std::clamp(pan, -1.0f, 1.0f), std::memory_order_relaxed);
}

std::shared_ptr<AVAudioTime> AVAudioPlayerNode::lastRenderTime() const {
  std::lock_guard lock(mutex_);
  if (!renderTime_) return nullptr;
  return AVAudioTime::make(renderTime_->hostTime, renderTime_->sampleTime, renderTime_->sampleRate);
}

std::shared_ptr<AVAudioTime> AVAudioPlayerNode::playerTime(const AVAudioTime& nodeTime) const {
  std::lock_guard lock(mutex_);
  if (!playing_ || !renderTime_) return nullptr;
  const auto anchor = AVAudioTime::make(renderTime_->hostTime, renderTime_->sampleTime, renderTime_->sampleRate);
  const auto filled = nodeTime.extrapolateTime(*anchor);
  if (!filled) return nullptr;
  AVAudioFramePosition sampleTime = filled->sampleTime();
  if (filled->sampleRate() > 0 && filled->sampleRate() != renderTime_->sampleRate) {
    sampleTime = std::llround(static_cast<double>(sampleTime) * renderTime_->sampleRate / filled->sampleRate());
  }
  return AVAudioTime::make(filled->hostTime(), sampleTime - playerOffset_, renderTime_->sampleRate);
}

bool AVAudioPlayerNode::attach(const AVAudioEngine* engine) {
  std::lock_guard lock(mutex_);
  if (engine_ && engine_ != engine) return false;
  engine_ = engine;
  return true;
}

void AVAudioPlayerNode::detach() {
  {
    std::lock_guard lock(mutex_);
    engine_ = nullptr;
    renderTime_.reset();
  }
  stop();
}

void AVAudioPlayerNode::setRenderTime(std::uint64_t hostTime, AVAudioFramePosition sampleTime, double sampleRate) {
  std::lock_guard lock(mutex_);
  renderTime_ = RenderTime{hostTime, sampleTime, sampleRate};
  if (playing_) playerOffset_ = sampleTime - playerSampleTime_;
}

void AVAudioPlayerNode::clearRenderTime() {
  std::lock_guard lock(mutex_);
  renderTime_.reset();
}

void AVAudioPlayerNode::render(AVAudioPCMBuffer& output, AVAudioFrameCount frames,
                               std::vector<CompletionHandler>& finished) {
  output.setFrameLength(frames);
  frames = output.frameLength();
  zeroFrames(output, frames);
  std::lock_guard lock(mutex_);
  const AVAudioFramePosition begin = playerSampleTime_;
  const AVAudioFramePosition end = begin + frames;
  AVAudioFramePosition cursor = begin;
  while (cursor < end && !scheduled_.empty()) {
    ScheduledBuffer& head = scheduled_.front();
    const AVAudioFrameCount length = head.buffer->frameLength();
    if (length == 0 || !(*head.buffer->format() == *output.format())) {
      finished.push_back(std::move(head.completionHandler));
      scheduled_.pop_front();
      continue;
    }
    // A buffer that is late, or has no time, starts where the player stands.
    if (head.played == 0) head.position = std::max(head.position.value_or(cursor), cursor);
    if (*head.position > cursor) {
      cursor = std::min(*head.position, end);
      continue;
    }
    const auto count =
        static_cast<AVAudioFrameCount>(std::min<AVAudioFramePosition>(length - head.played, end - cursor));
    copyFrames(*head.buffer, head.played, output, static_cast<AVAudioFrameCount>(cursor - begin), count);
    head.played += count;
    *head.position += count;
    cursor += count;
    if (head.played == length) {
      finished.push_back(std::move(head.completionHandler));
      scheduled_.pop_front();
    }
  }
  playerSampleTime_ = end;
}

}  // namespace platform
