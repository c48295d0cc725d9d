#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "Platform/ReplayKit/Service/AudioSource.hpp"

namespace platform::broadcastservice {

// The synthetic signal's app audio (stereo tone and beeps) or microphone
// (a quiet mono tone), paced by the host clock from the shared start: each
// buffer is handed over once its last frame is due.
class SyntheticAudio final : public AudioSource {
 public:
  SyntheticAudio(RPSampleBufferType type, std::uint64_t startHostTime, AudioSink sink);
  ~SyntheticAudio() override;

 private:
  void run();

  const RPSampleBufferType type_;
  const std::uint64_t start_;
  const AudioSink sink_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t stopAt_ = UINT64_MAX;  // host time of the stop request
  std::thread thread_;
};

}  // namespace platform::broadcastservice
