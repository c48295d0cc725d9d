#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace replaykit_tests {

struct VideoEvent {
  long long pts = 0;  // host nanoseconds
  int width = 0;
  int height = 0;
  std::string format;
  int meanLuma = 0;
  int blue = 0, green = 0, red = 0;  // the centre pixel
};

struct AudioEvent {
  long long pts = 0;
  int frames = 0;
  int channels = 0;
  long firstLoudFrame = -1;
};

// What the recording extension wrote down, in the order it was called.
struct RecordedEvents {
  std::vector<std::string> calls;  // "started", "video", "audio 2", "paused", ...
  std::vector<VideoEvent> video;
  std::vector<AudioEvent> appAudio;
  std::vector<AudioEvent> microphone;

  static RecordedEvents read(const std::filesystem::path& log);
  std::size_t count(const std::string& call) const;
};

// The number the service's summary gives before `label` (" frames
// delivered", " frames dropped by the service", " frames and"), or a count no
// test expects when the summary has none.
std::size_t summaryCount(const std::string& summary, const std::string& label);
inline std::size_t droppedFrames(const std::string& summary) {
  return summaryCount(summary, " frames dropped by the service");
}

}  // namespace replaykit_tests
