#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavformat/avformat.h>
}

#include "Platform/AVFAudio/LibavHandles.hpp"
#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVFileType.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace platform {

struct CodecParametersDeleter {
  void operator()(AVCodecParameters* parameters) const noexcept { avcodec_parameters_free(&parameters); }
};
using CodecParametersHandle = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

// `time` in ticks of `timeBase`, rounded to the nearest; none for an invalid time.
std::optional<std::int64_t> ticks(const CMTime& time, AVRational timeBase);

// What a track holds: its codec parameters and the time base its packets count in.
struct AVAssetWriterTrackFormat {
  CodecParametersHandle parameters;
  AVRational timeBase{0, 1};
};

// The container side of a writer: one track per input, packets in each
// track's time base, counted from the session's start. The header can only
// be written once every track knows its codec parameters (an encoder states
// them with its first packet), so packets wait in a bounded queue until
// then; tracks that finish without any media are left out of the file.
// Not locked: the writer's lock guards every call.
class AVAssetWriterMuxer {
 public:
  AVAssetWriterMuxer(std::filesystem::path path, AVFileType fileType);
  ~AVAssetWriterMuxer();

  AVAssetWriterMuxer(const AVAssetWriterMuxer&) = delete;
  AVAssetWriterMuxer& operator=(const AVAssetWriterMuxer&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

  int addTrack();
  // Creates the file. A fragment interval writes the movie in fragments of about that length.
  std::optional<AVAssetWriterError> open(const std::optional<CMTime>& fragmentInterval);

  void startSession(const CMTime& sourceTime);
  bool hasSession() const noexcept { return sessionStart_.has_value(); }
  // `time` from the session's start in ticks of `timeBase`, rounded to the
  // nearest; none before the session starts or for an invalid time.
  std::optional<std::int64_t> sessionTicks(const CMTime& time, AVRational timeBase) const;

  bool hasFormat(int track) const;
  void setFormat(int track, AVAssetWriterTrackFormat format);
  // True while the packets waiting for the header fill the queue.
  bool isBackedUp() const noexcept;

  // Takes a packet of the track (times in its time base). Decode times must rise.
  std::optional<AVAssetWriterError> write(int track, PacketHandle packet);
  // The track gets no more packets.
  std::optional<AVAssetWriterError> finishTrack(int track);
  // Writes what is left and closes the file.
  std::optional<AVAssetWriterError> finish();
  // Closes and removes the file.
  void cancel();

 private:
  struct Track {
    std::optional<AVAssetWriterTrackFormat> format;
    int streamIndex = -1;
    bool finished = false;
    std::optional<std::int64_t> lastDecodeTime;
  };
  struct WaitingPacket {
    int track;
    PacketHandle packet;
  };

  bool headerIsDue() const;
  std::optional<AVAssetWriterError> writeHeader();
  std::optional<AVAssetWriterError> interleave(int track, PacketHandle packet);
  void close();

  std::filesystem::path path_;
  AVFileType fileType_;
  AVFormatContext* context_ = nullptr;
  std::optional<CMTime> fragmentInterval_;
  std::optional<CMTime> sessionStart_;
  std::vector<Track> tracks_;
  bool headerWritten_ = false;
  std::deque<WaitingPacket> waiting_;
  std::size_t waitingBytes_ = 0;
};

}  // namespace platform
