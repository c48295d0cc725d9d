#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace replaykit_tests {

RecordedEvents RecordedEvents::read(const std::filesystem::path& log) {
  RecordedEvents events;
  std::ifstream file(log);
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line);
    std::string call;
    fields >> call;
    if (call == "video") {
      VideoEvent event;
      fields >> event.pts >> event.width >> event.height >> event.format >> event.meanLuma >> event.blue >>
          event.green >> event.red;
      events.video.push_back(event);
    } else if (call == "audio") {
      int type = 0;
      AudioEvent event;
      fields >> type >> event.pts >> event.frames >> event.channels >> event.firstLoudFrame;
      (type == 2 ? events.appAudio : events.microphone).push_back(event);
      call += " " + std::to_string(type);
    }
    events.calls.push_back(call);
  }
  return events;
}

std::size_t RecordedEvents::count(const std::string& call) const {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

std::size_t summaryCount(const std::string& summary, const std::string& label) {
  const auto at = summary.find(label);
  if (at == std::string::npos || at == 0) return 1'000'000;
  return std::stoul(summary.substr(summary.rfind(' ', at - 1) + 1));
}

}  // namespace replaykit_tests
