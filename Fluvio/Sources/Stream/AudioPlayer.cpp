#include "Fluvio/Sources/Stream/AudioPlayer.hpp"

#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

platform::Async<std::shared_ptr<AudioPlayerNode>> AudioPlayer::makePlayerNode() {
  return isolated([this] { return makePlayerNodeBody(); });
}

platform::Async<void> AudioPlayer::detach(std::shared_ptr<AudioPlayerNode> node) {
  return isolated([this, node = std::move(node)]() mutable { return detachBody(std::move(node)); });
}

platform::Async<void> AudioPlayer::connect(std::shared_ptr<AudioPlayerNode> node,
                                           std::shared_ptr<platform::AVAudioFormat> format) {
  return isolated([this, node = std::move(node), format = std::move(format)]() mutable {
    return connectBody(std::move(node), std::move(format));
  });
}

platform::Async<bool> AudioPlayer::isConnected(std::shared_ptr<AudioPlayerNode> node) const {
  return isolated([this, node = std::move(node)]() mutable { return isConnectedBody(std::move(node)); });
}

platform::Async<std::shared_ptr<AudioPlayerNode>> AudioPlayer::makePlayerNodeBody() {
  auto playerNode = platform::AVAudioPlayerNode::make();
  if (audioEngine_) audioEngine_->attach(playerNode);
  auto node = AudioPlayerNode::make(weak_from_this(), playerNode);
  playerNodes_.emplace(node, std::move(playerNode));
  co_return node;
}

platform::Async<void> AudioPlayer::detachBody(std::shared_ptr<AudioPlayerNode> node) {
  const auto found = playerNodes_.find(node);
  if (found == playerNodes_.end()) co_return;
  if (audioEngine_) {
    disconnect(node);
    audioEngine_->detach(found->second);
  }
  playerNodes_.erase(found);
}

platform::Async<void> AudioPlayer::connectBody(std::shared_ptr<AudioPlayerNode> node,
                                               std::shared_ptr<platform::AVAudioFormat> format) {
  const auto found = playerNodes_.find(node);
  if (!audioEngine_ || found == playerNodes_.end()) co_return;
  if (!format) {
    disconnect(node);
    co_return;
  }
  audioEngine_->connect(found->second, audioEngine_->outputNode(), format);
  if (!audioEngine_->isRunning()) {
    try {
      audioEngine_->start();
    } catch (const platform::AVAudioEngine::Error& error) {
      // The node still counts as connected; its buffers wait for an engine that runs.
      TP_WARN(logger(), "audio engine did not start: ", error.what());
    }
  }
  connected_.insert(std::move(node));
}

platform::Async<bool> AudioPlayer::isConnectedBody(std::shared_ptr<AudioPlayerNode> node) const {
  co_return connected_.contains(node);
}

void AudioPlayer::disconnect(const std::shared_ptr<AudioPlayerNode>& node) {
  audioEngine_->disconnectNodeOutput(playerNodes_.at(node));
  connected_.erase(node);
  // Other streams may still be playing through the engine.
  if (connected_.empty() && audioEngine_->isRunning()) audioEngine_->stop();
}

}  // namespace fluvio
