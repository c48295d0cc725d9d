#pragma once

#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

class AudioPlayerNode;

// Plays the decoded audio of incoming streams through one engine: hands out
// one player node per stream and connects each to the engine's output in the
// format of its audio. The engine runs while any node is connected.
class AudioPlayer final : public platform::Actor, public std::enable_shared_from_this<AudioPlayer> {
 public:
  AudioPlayer(Key key, std::shared_ptr<platform::AVAudioEngine> audioEngine)
      : Actor(key), audioEngine_(std::move(audioEngine)) {}
  // Without an engine the player hands out nodes that never play.
  static std::shared_ptr<AudioPlayer> make(std::shared_ptr<platform::AVAudioEngine> audioEngine) {
    return Actor::make<AudioPlayer>(std::move(audioEngine));
  }

  platform::Async<std::shared_ptr<AudioPlayerNode>> makePlayerNode();
  // Forgets the node: detached from the engine and no longer connected.
  platform::Async<void> detach(std::shared_ptr<AudioPlayerNode> node);
  // With a format, connects the node in it (starting the engine); without,
  // disconnects it (stopping the engine once no node is left connected).
  // Nothing for a node this player did not make.
  platform::Async<void> connect(std::shared_ptr<AudioPlayerNode> node, std::shared_ptr<platform::AVAudioFormat> format);
  platform::Async<bool> isConnected(std::shared_ptr<AudioPlayerNode> node) const;

 private:
  platform::Async<std::shared_ptr<AudioPlayerNode>> makePlayerNodeBody();
  platform::Async<void> detachBody(std::shared_ptr<AudioPlayerNode> node);
  platform::Async<void> connectBody(std::shared_ptr<AudioPlayerNode> node,
                                    std::shared_ptr<platform::AVAudioFormat> format);
  platform::Async<bool> isConnectedBody(std::shared_ptr<AudioPlayerNode> node) const;
  void disconnect(const std::shared_ptr<AudioPlayerNode>& node);

  std::unordered_set<std::shared_ptr<AudioPlayerNode>> connected_;
  std::shared_ptr<platform::AVAudioEngine> audioEngine_;
  std::unordered_map<std::shared_ptr<AudioPlayerNode>, std::shared_ptr<platform::AVAudioPlayerNode>> playerNodes_;
};

}  // namespace fluvio
