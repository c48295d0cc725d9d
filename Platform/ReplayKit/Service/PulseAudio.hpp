#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "Platform/ReplayKit/Service/AudioSource.hpp"

struct pa_simple;

namespace platform::broadcastservice {

// Audio recorded from the sound server: the monitor of the default output
// (what the apps play) or the default input (the microphone). Buffers are
// stamped from the first one's host time on by the frames counted, so their
// times stay gapless.
class PulseAudio final : public AudioSource {
 public:
  // Nothing, with the reason in `error`, when no sound server answers.
  static std::unique_ptr<PulseAudio> make(RPSampleBufferType type, AudioSink sink, std::string& error);
  ~PulseAudio() override;

 private:
  PulseAudio(pa_simple* stream, RPSampleBufferType type, AudioSink sink);
  void run();

  pa_simple* stream_;
  const RPSampleBufferType type_;
  const AudioSink sink_;
  std::atomic<bool> stopping_ = false;
  std::thread thread_;
};

}  // namespace platform::broadcastservice
