#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace broadcast_tests {

// What ffprobe and ffmpeg read in a recording.
struct RecordedPacket {
  bool isVideo = false;
  double dts = 0;
  double pts = 0;
  double duration = 0;
};

// "key=value" lines of the entries of the first stream of a kind ("v" or "a").
std::string streamEntries(const std::filesystem::path& recording, const std::string& kind,
                          const std::string& entries);
std::vector<RecordedPacket> recordedPackets(const std::filesystem::path& recording);
// What `ffmpeg -v error` says while decoding all of it.
std::string decodeComplaints(const std::filesystem::path& recording);
// Presentation times of the pictures whose mean brightness is near white.
std::vector<double> flashTimes(const std::filesystem::path& recording);
// Times at which the sound turns loud after at least half a second of quiet,
// to the millisecond.
std::vector<double> beepStarts(const std::filesystem::path& recording);

}  // namespace broadcast_tests
