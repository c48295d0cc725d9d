#include "Platform/AVFoundation/AVAssetWriterMuxer.hpp"

#include <string>
#include <system_error>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace platform {
namespace {

// About half a minute of high-rate video: enough for the other tracks' first
// media to arrive, small enough that a track that never starts cannot
// exhaust memory.
constexpr std::size_t maximumWaitingBytes = 64u << 20;

AVAssetWriterError writeFailed(const std::string& what, int code) {
  return {AVAssetWriterError::Case::fileWriteFailed, what + ": " + libavErrorString(code)};
}

}  // namespace

std::optional<std::int64_t> ticks(const CMTime& time, AVRational timeBase) {
  if (!time.isValid()) return std::nullopt;
  return av_rescale_q_rnd(time.value, AVRational{1, time.timescale}, timeBase,
                          static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

AVAssetWriterMuxer::AVAssetWriterMuxer(std::filesystem::path path, AVFileType fileType)
    : path_(std::move(path)), fileType_(fileType) {}

AVAssetWriterMuxer::~AVAssetWriterMuxer() { close(); }

int AVAssetWriterMuxer::addTrack() {
  tracks_.emplace_back();
  return static_cast<int>(tracks_.size()) - 1;
}

std::optional<AVAssetWriterError> AVAssetWriterMuxer::open(const std::optional<CMTime>& fragmentInterval) {
  const std::string muxer(muxerName(fileType_));
  int status = avformat_alloc_output_context2(&context_, nullptr, muxer.c_str(), path_.c_str());
  if (status < 0 || !context_) return writeFailed("cannot make a " + muxer + " muxer", status);
  status = avio_open(&context_->pb, path_.c_str(), AVIO_FLAG_WRITE);
  if (status < 0) {
    close();
    return writeFailed("cannot create " + path_.string(), status);
  }
  fragmentInterval_ = fragmentInterval;
  return std::nullopt;
}

void AVAssetWriterMuxer::startSession(const CMTime& sourceTime) {
  if (!sessionStart_ && sourceTime.isValid()) sessionStart_ = sourceTime;
}

std::optional<std::int64_t> AVAssetWriterMuxer::sessionTicks(const CMTime& time, AVRational timeBase) const {
  if (!sessionStart_ || !time.isValid()) return std::nullopt;
  return ticks(time - *sessionStart_, timeBase);
}

bool AVAssetWriterMuxer::hasFormat(int track) const { return tracks_.at(track).format.has_value(); }

void AVAssetWriterMuxer::setFormat(int track, AVAssetWriterTrackFormat format) {
  tracks_.at(track).format = std::move(format);
}

bool AVAssetWriterMuxer::isBackedUp() const noexcept { return waitingBytes_ >= maximumWaitingBytes; }

std::optional<AVAssetWriterError> AVAssetWriterMuxer::write(int track, PacketHandle packet) {
  Track& entry = tracks_.at(track);
  if (!context_ || entry.finished || !entry.format) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "the track takes no more media");
  }
  const std::int64_t decodeTime = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
  if (decodeTime == AV_NOPTS_VALUE || (entry.lastDecodeTime && decodeTime <= *entry.lastDecodeTime)) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample,
                              "decode time " + std::to_string(decodeTime) + " does not follow the last one");
  }
  if (!headerWritten_ && isBackedUp()) {
    return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "too much media waits for the other tracks");
  }
  packet->dts = decodeTime;
  entry.lastDecodeTime = decodeTime;
  if (headerWritten_) return interleave(track, std::move(packet));

  waitingBytes_ += static_cast<std::size_t>(packet->size);
  waiting_.push_back({track, std::move(packet)});
  return headerIsDue() ? writeHeader() : std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterMuxer::finishTrack(int track) {
  tracks_.at(track).finished = true;
  return !headerWritten_ && headerIsDue() ? writeHeader() : std::nullopt;
}

bool AVAssetWriterMuxer::headerIsDue() const {
  bool anyFormat = false;
  for (const Track& track : tracks_) {
    if (!track.format && !track.finished) return false;
    anyFormat = anyFormat || track.format.has_value();
  }
  return anyFormat;
}

std::optional<AVAssetWriterError> AVAssetWriterMuxer::writeHeader() {
  for (Track& track : tracks_) {
    if (!track.format) continue;
    AVStream* stream = avformat_new_stream(context_, nullptr);
    if (!stream) return writeFailed("cannot add a track", AVERROR(ENOMEM));
    const int status = avcodec_parameters_copy(stream->codecpar, track.format->parameters.get());
    if (status < 0) return writeFailed("cannot describe a track", status);
    stream->time_base = track.format->timeBase;
    track.streamIndex = stream->index;
  }
  if (context_->nb_streams == 0) return AVAssetWriterError(AVAssetWriterError::Case::noMediaData, "no track has media");

  AVDictionary* options = nullptr;
  if (fragmentInterval_ && fragmentInterval_->isValid()) {
    const auto microseconds = static_cast<std::int64_t>(fragmentInterval_->seconds() * 1e6);
    av_dict_set_int(&options, "frag_duration", microseconds, 0);
  }
  const int status = avformat_write_header(context_, &options);
  av_dict_free(&options);
  if (status < 0) return writeFailed("cannot write the header", status);
  headerWritten_ = true;

  auto waiting = std::move(waiting_);
  waiting_.clear();
  waitingBytes_ = 0;
  for (auto& [track, packet] : waiting) {
    if (auto error = interleave(track, std::move(packet))) return error;
  }
  return std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterMuxer::interleave(int track, PacketHandle packet) {
  const Track& entry = tracks_.at(track);
  AVStream* stream = context_->streams[entry.streamIndex];
  packet->stream_index = entry.streamIndex;
  av_packet_rescale_ts(packet.get(), entry.format->timeBase, stream->time_base);
  const int status = av_interleaved_write_frame(context_, packet.get());
  return status < 0 ? std::optional(writeFailed("cannot write media", status)) : std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterMuxer::finish() {
  if (!context_) return AVAssetWriterError(AVAssetWriterError::Case::fileWriteFailed, "the file is not open");
  for (Track& track : tracks_) track.finished = true;
  std::optional<AVAssetWriterError> error;
  if (!headerWritten_) error = writeHeader();
  if (!error && headerWritten_) {
    if (const int status = av_write_trailer(context_); status < 0) {
      error = writeFailed("cannot finish the file", status);
    }
  }
  if (!error && context_->pb && context_->pb->error < 0) {
    error = writeFailed("cannot write the file", context_->pb->error);
  }
  close();
  return error;
}

void AVAssetWriterMuxer::cancel() {
  const bool opened = context_ != nullptr;
  close();
  if (opened) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void AVAssetWriterMuxer::close() {
  waiting_.clear();
  waitingBytes_ = 0;
  if (!context_) return;
  if (context_->pb) avio_closep(&context_->pb);
  avformat_free_context(context_);
  context_ = nullptr;
}

}  // namespace platform
