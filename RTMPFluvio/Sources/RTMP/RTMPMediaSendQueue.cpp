#include "RTMPFluvio/Sources/RTMP/RTMPMediaSendQueue.hpp"

#include <algorithm>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"

namespace rtmpfluvio {
namespace {

double seconds(const platform::CMSampleBuffer& frame) {
  const auto decodeTime = frame.decodeTimeStamp();
  return (decodeTime.isValid() ? decodeTime : frame.presentationTimeStamp()).seconds();
}

double seconds(const RTMPMediaSendQueue::Audio& audio) { return platform::AVAudioTime::seconds(audio.when.hostTime()); }

bool isVideo(const RTMPMediaSendQueue::Media& media) { return std::holds_alternative<platform::CMSampleBuffer>(media); }

bool isKeyFrame(const RTMPMediaSendQueue::Media& media) {
  return isVideo(media) && !fluvio::isNotSync(std::get<platform::CMSampleBuffer>(media));
}

// How far `newest` is past the oldest media of its kind held; 0 for none.
template <class Kind, class Held>
double heldSpan(const Held& held, double newest) {
  const auto oldest = std::find_if(held.begin(), held.end(),
                                   [](const auto& media) { return std::holds_alternative<Kind>(media); });
  return oldest == held.end() ? 0 : newest - seconds(std::get<Kind>(*oldest));
}

}  // namespace

void RTMPMediaSendQueue::push(platform::CMSampleBuffer frame) {
  const bool isKey = !fluvio::isNotSync(frame);
  if (awaitsKeyFrame_ && !isKey) {
    ++drops_.videoFrames;
    return;
  }
  awaitsKeyFrame_ = false;
  const double time = seconds(frame);
  held_.push_back(std::move(frame));
  while (heldSpan<platform::CMSampleBuffer>(held_, time) > kHeldSeconds) dropOldestVideo();
}

void RTMPMediaSendQueue::push(Audio audio) {
  const double time = seconds(audio);
  held_.push_back(std::move(audio));
  while (heldSpan<Audio>(held_, time) > kHeldSeconds) dropOldestAudio();
}

void RTMPMediaSendQueue::dropOldestVideo() {
  auto at = std::find_if(held_.begin(), held_.end(), isVideo);
  // The oldest frame goes, key frame or not, and every frame after it that
  // needs it, up to the next key frame.
  do {
    at = held_.erase(at);
    ++drops_.videoFrames;
    at = std::find_if(at, held_.end(), isVideo);
  } while (at != held_.end() && !isKeyFrame(*at));
  awaitsKeyFrame_ = at == held_.end();
  // Nothing is dropped here while the queue waits (push drops those frames),
  // so this is once per wait.
  if (awaitsKeyFrame_ && requestKeyFrame_) requestKeyFrame_();
}

void RTMPMediaSendQueue::dropOldestAudio() {
  held_.erase(std::find_if(held_.begin(), held_.end(), [](const Media& media) { return !isVideo(media); }));
  ++drops_.audioBuffers;
}

std::optional<RTMPMediaSendQueue::Media> RTMPMediaSendQueue::pop() {
  if (held_.empty()) return std::nullopt;
  auto media = std::move(held_.front());
  held_.pop_front();
  return media;
}

std::uint64_t RTMPMediaSendQueue::clear() {
  const auto frames = static_cast<std::uint64_t>(std::count_if(held_.begin(), held_.end(), isVideo));
  held_.clear();
  awaitsKeyFrame_ = false;
  return frames;
}

}  // namespace rtmpfluvio
