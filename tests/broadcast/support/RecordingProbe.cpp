#include "tests/broadcast/support/RecordingProbe.hpp"

#include <sstream>

#include "tests/peers/support/Process.hpp"

namespace broadcast_tests {
namespace {

using peers::quoted;

std::string ffprobe(const std::string& arguments) {
  return peers::run("ffprobe -v error " + arguments + " 2>/dev/null").output;
}

// Each "first,second" line of csv output as two numbers.
template <class Visit>
void eachPair(const std::string& csv, Visit visit) {
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    try {
      visit(std::stod(line.substr(0, comma)), std::stod(line.substr(comma + 1)));
    } catch (const std::exception&) {
    }
  }
}

double number(const std::string& text) {
  try {
    return text.empty() || text == "N/A" ? 0 : std::stod(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

std::string streamEntries(const std::filesystem::path& recording, const std::string& kind,
                          const std::string& entries) {
  return ffprobe("-select_streams " + kind + ":0 -count_frames -show_entries stream=" + entries +
                 " -of default=nw=1 " + quoted(recording.string()));
}

std::vector<RecordedPacket> recordedPackets(const std::filesystem::path& recording) {
  std::istringstream lines(
      ffprobe("-show_entries packet=codec_type,dts_time,pts_time,duration_time -of csv=p=0 " + quoted(recording.string())));
  std::vector<RecordedPacket> packets;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string type, pts, dts, duration;
    std::getline(fields, type, ',');
    std::getline(fields, pts, ',');
    std::getline(fields, dts, ',');
    std::getline(fields, duration, ',');
    packets.push_back({type == "video", number(dts), number(pts), number(duration)});
  }
  return packets;
}

std::string decodeComplaints(const std::filesystem::path& recording) {
  return peers::run("ffmpeg -nostdin -v error -i " + quoted(recording.string()) + " -f null - 2>&1").output;
}

std::vector<double> flashTimes(const std::filesystem::path& recording) {
  std::vector<double> flashes;
  eachPair(ffprobe("-f lavfi -i " + quoted("movie=" + recording.string() + ",signalstats") +
                   " -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0"),
           [&](double time, double brightness) {
             if (brightness > 200) flashes.push_back(time);
           });
  return flashes;
}

std::vector<double> beepStarts(const std::filesystem::path& recording) {
  std::vector<double> beeps;
  double lastLoud = -10;
  // The peak of every millisecond at 48 kHz; the quiet tone stays far below -12 dB, the beep above.
  eachPair(ffprobe("-f lavfi -i " +
                   quoted("amovie=" + recording.string() + ",asetnsamples=n=48:p=0,astats=metadata=1:reset=1") +
                   " -show_entries frame=pts_time:frame_tags=lavfi.astats.Overall.Peak_level -of csv=p=0"),
           [&](double time, double peak) {
             if (peak <= -12) return;
             if (time - lastLoud > 0.5) beeps.push_back(time);
             lastLoud = time;
           });
  return beeps;
}

}  // namespace broadcast_tests
