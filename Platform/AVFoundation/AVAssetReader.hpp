#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace platform {

// A media file to read.
struct AVAsset {
  std::filesystem::path url;
};

// Reads the first video track of an asset, decoded (libavformat and
// libavcodec) into pixel buffers of one format, each a sample buffer with
// its presentation time. One thread at a time.
class AVAssetReader {
 public:
  enum class Status { unknown, reading, completed, failed, cancelled };

  class Error : public std::exception {
   public:
    explicit Error(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

   private:
    std::string message_;
  };

  // Throws Error when the file cannot be opened or read as media.
  static std::shared_ptr<AVAssetReader> make(const AVAsset& asset);
  ~AVAssetReader();
  AVAssetReader(const AVAssetReader&) = delete;
  AVAssetReader& operator=(const AVAssetReader&) = delete;

  bool hasVideoTrack() const noexcept { return videoStream_ >= 0; }
  // Decoded frames come out in this format (32-bit BGRA unless set before reading).
  void setOutputPixelFormat(OSType pixelFormatType) { outputPixelFormat_ = pixelFormatType; }

  Status status() const noexcept { return status_; }
  // False without a video track or a decoder for it.
  bool startReading();
  void cancelReading();
  // The next frame in presentation order; none at the end of the track, on
  // a failure (status failed) or when not reading.
  std::optional<CMSampleBuffer> copyNextSampleBuffer();

 private:
  explicit AVAssetReader(AVFormatContext* format);
  std::optional<CMSampleBuffer> makeSampleBuffer(const AVFrame& frame);

  AVFormatContext* format_;
  int videoStream_ = -1;
  AVCodecContext* decoder_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  std::shared_ptr<CVPixelBufferPool> pool_;
  std::shared_ptr<const CMFormatDescription> outputFormat_;
  OSType outputPixelFormat_ = kCVPixelFormatType_32BGRA;
  Status status_ = Status::unknown;
  bool draining_ = false;
};

}  // namespace platform
