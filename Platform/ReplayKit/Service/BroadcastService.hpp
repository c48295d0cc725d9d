#pragma once

#include <optional>
#include <string>

namespace platform::broadcastservice {

enum class VideoInput { automatic, screen, synthetic };
enum class AudioInput { automatic, pulse, synthetic };

struct BroadcastServiceOptions {
  std::string modulePath;
  std::string principalClass = "SampleHandler";
  // Without a limit the broadcast runs until SIGINT or SIGTERM.
  std::optional<double> seconds;
  // automatic: the X11 screen when DISPLAY is set, the sound server when one
  // answers; the synthetic sources otherwise.
  VideoInput video = VideoInput::automatic;
  AudioInput audio = AudioInput::automatic;
  // Without it no microphone is opened and no microphone buffer delivered.
  bool microphone = true;
};

// Runs one broadcast through the extension's principal class and returns
// the process's exit code: 0 when it finished, 1 when the extension ended it
// with an error (whose description has then been printed), 2 when it could
// not start. The caller must have blocked SIGINT, SIGTERM, SIGTSTP, SIGCONT
// and SIGUSR1 in every thread.
int runBroadcast(const BroadcastServiceOptions& options);

}  // namespace platform::broadcastservice
