#include "Fluvio/Sources/Stream/Stream_.hpp"

#include <algorithm>
#include <utility>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/IncomingStream.hpp"
#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "Fluvio/Sources/Stream/SoundTransform.hpp"

namespace fluvio {

using platform::Async;

// The bodies run on the stream's strand; the stream outlives them, as each
// caller holds it while awaiting.
namespace {

Async<std::optional<SoundTransform>> readSoundTransform(Stream_& stream) {
  co_return co_await stream.incoming()->soundTransform();
}

Async<AudioCodecSettings> readAudioSettings(Stream_& stream) { co_return stream.outgoing().audioSettings(); }

Async<VideoCodecSettings> readVideoSettings(Stream_& stream) { co_return stream.outgoing().videoSettings(); }

Async<void> storeBitRateStrategy(Stream_& stream, std::shared_ptr<StreamBitRateStrategy> strategy) {
  stream.bitRateStrategy() = std::move(strategy);
  co_return;
}

Async<void> applySoundTransform(Stream_& stream, SoundTransform soundTransform) {
  co_await stream.incoming()->setSoundTransform(soundTransform);
}

Async<void> storeVideoInputBufferCounts(Stream_& stream, int videoInputBufferCounts) {
  stream.outgoing().setVideoInputBufferCounts(videoInputBufferCounts);
  co_return;
}

Async<void> forwardAudioPlayer(Stream_& stream, std::shared_ptr<AudioPlayer> audioPlayer) {
  co_await stream.incoming()->attachAudioPlayer(std::move(audioPlayer));
}

Async<void> keepOutput(Stream_& stream, std::shared_ptr<StreamOutput> output) {
  auto& outputs = stream.outputs();
  if (output && std::find(outputs.begin(), outputs.end(), output) == outputs.end()) outputs.push_back(std::move(output));
  co_return;
}

Async<void> dropOutput(Stream_& stream, std::shared_ptr<StreamOutput> output) {
  auto& outputs = stream.outputs();
  if (const auto found = std::find(outputs.begin(), outputs.end(), output); found != outputs.end()) outputs.erase(found);
  co_return;
}

}  // namespace

Async<std::optional<SoundTransform>> Stream_::soundTransform() {
  return isolated([this] { return readSoundTransform(*this); });
}

Async<AudioCodecSettings> Stream_::audioSettings() {
  return isolated([this] { return readAudioSettings(*this); });
}

Async<VideoCodecSettings> Stream_::videoSettings() {
  return isolated([this] { return readVideoSettings(*this); });
}

Async<void> Stream_::setBitRateStrategy(std::shared_ptr<StreamBitRateStrategy> strategy) {
  return isolated(
      [this, strategy = std::move(strategy)]() mutable { return storeBitRateStrategy(*this, std::move(strategy)); });
}

Async<void> Stream_::setSoundTransform(SoundTransform soundTransform) {
  return isolated([this, soundTransform] { return applySoundTransform(*this, soundTransform); });
}

Async<void> Stream_::setVideoInputBufferCounts(int videoInputBufferCounts) {
  return isolated(
      [this, videoInputBufferCounts] { return storeVideoInputBufferCounts(*this, videoInputBufferCounts); });
}

Async<void> Stream_::attachAudioPlayer(std::shared_ptr<AudioPlayer> audioPlayer) {
  return isolated([this, audioPlayer = std::move(audioPlayer)]() mutable {
    return forwardAudioPlayer(*this, std::move(audioPlayer));
  });
}

Async<void> Stream_::addOutput(std::shared_ptr<StreamOutput> output) {
  return isolated([this, output = std::move(output)]() mutable { return keepOutput(*this, std::move(output)); });
}

Async<void> Stream_::removeOutput(std::shared_ptr<StreamOutput> output) {
  return isolated([this, output = std::move(output)]() mutable { return dropOutput(*this, std::move(output)); });
}

}  // namespace fluvio
