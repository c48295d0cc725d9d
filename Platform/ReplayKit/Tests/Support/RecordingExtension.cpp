// A broadcast extension that writes one line per call into the file named by
// RECORDING_EXTENSION_LOG, so the service's tests can see what it was fed.
// RECORDING_EXTENSION_FAIL ends the broadcast at start with that text,
// RECORDING_EXTENSION_VIDEO_DELAY_MS makes every video frame take that long,
// RECORDING_EXTENSION_LINGER_MS keeps the handler busy that long after finish,
// RECORDING_EXTENSION_HOLD_FRAMES keeps that many of the latest frames, as a
// queue on the way to an encoder would.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Platform/CoreMedia/FourCharCode.hpp"
#include "Platform/Foundation/LocalizedError.hpp"
#include "Platform/ReplayKit/RPBroadcastExtension.hpp"

namespace {

using namespace platform;

class StartError : public std::runtime_error, public LocalizedError {
 public:
  explicit StartError(const std::string& text) : std::runtime_error("StartError"), text_(text) {}
  std::optional<std::string> errorDescription() const override { return text_; }

 private:
  std::string text_;
};

int environmentNumber(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : 0;
}

class RecordingHandler : public RPBroadcastSampleHandler, public std::enable_shared_from_this<RecordingHandler> {
 public:
  static std::shared_ptr<RecordingHandler> make() { return std::make_shared<RecordingHandler>(); }

  RecordingHandler() : log_(std::fopen(std::getenv("RECORDING_EXTENSION_LOG"), "a")) {}
  ~RecordingHandler() override { std::fclose(log_); }

  void broadcastStarted(const std::optional<RPBroadcastSetupInfo>&) override {
    write("started");
    if (const char* text = std::getenv("RECORDING_EXTENSION_FAIL")) finishBroadcastWithError(StartError(text));
  }

  void processSampleBuffer(const CMSampleBuffer& buffer, RPSampleBufferType type) override {
    const auto pts = buffer.presentationTimeStamp();
    const auto nanoseconds = static_cast<long long>(pts.convertScale(1'000'000'000).value);
    if (type == RPSampleBufferType::video) {
      writeVideo(buffer, nanoseconds);
      hold(buffer);
      if (const int delay = environmentNumber("RECORDING_EXTENSION_VIDEO_DELAY_MS")) {
        // Plays an extension whose frames take this long: the load under test.
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      }
      return;
    }
    writeAudio(buffer, type, nanoseconds);
  }

  void broadcastPaused() override { write("paused"); }
  void broadcastResumed() override { write("resumed"); }

  void broadcastFinished() override {
    write("finished");
    if (const int linger = environmentNumber("RECORDING_EXTENSION_LINGER_MS")) {
      std::thread([self = shared_from_this(), linger] {
        // Plays closing work that keeps the handler this long: the case under test.
        std::this_thread::sleep_for(std::chrono::milliseconds(linger));
        self->write("released");
      }).detach();
    }
  }

 private:
  void write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }

  // "video PTS WIDTH HEIGHT FORMAT MEAN-LUMA B G R" with the centre pixel's
  // colour; luma on the full 0-255 scale, colour back from video-range BT.601.
  void writeVideo(const CMSampleBuffer& buffer, long long pts) {
    const auto& picture = buffer.imageBuffer();
    picture->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    const std::uint8_t* luma = picture->baseAddressOfPlane(0);
    const std::uint8_t* chroma = picture->baseAddressOfPlane(1);
    const std::size_t lumaStride = picture->bytesPerRowOfPlane(0), chromaStride = picture->bytesPerRowOfPlane(1);
    long long sum = 0, count = 0;
    for (std::size_t y = 0; y < picture->height(); y += 8) {
      for (std::size_t x = 0; x < picture->width(); x += 8) {
        sum += fullScale(luma[y * lumaStride + x]);
        ++count;
      }
    }
    const std::size_t x = picture->width() / 2, y = picture->height() / 2;
    const std::uint8_t* uv = chroma + y / 2 * chromaStride + x / 2 * 2;
    const double c = 1.164 * (luma[y * lumaStride + x] - 16), u = uv[0] - 128, v = uv[1] - 128;
    char line[160];
    std::snprintf(line, sizeof line, "video %lld %zu %zu %.4s %lld %d %d %d", pts, picture->width(), picture->height(),
                  fourCCString(picture->pixelFormatType()).c_str(), sum / count, channel(c + 2.018 * u),
                  channel(c - 0.391 * u - 0.813 * v), channel(c + 1.596 * v));
    picture->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    write(line);
  }

  static int fullScale(int videoLuma) { return std::clamp((videoLuma - 16) * 255 / 219, 0, 255); }
  static int channel(double value) { return std::clamp(static_cast<int>(std::lround(value)), 0, 255); }

  // "audio TYPE PTS FRAMES CHANNELS FIRST-LOUD-FRAME" (-1 when none is loud).
  void writeAudio(const CMSampleBuffer& buffer, RPSampleBufferType type, long long pts) {
    const auto* description = buffer.formatDescription()->audioStreamBasicDescription();
    const auto channels = description->mChannelsPerFrame;
    std::vector<std::int16_t> samples(buffer.numSamples() * channels);
    std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(samples.data()), samples.size() * 2);
    buffer.copyPCMDataIntoAudioBuffers(0, buffer.numSamples(), std::span(&bytes, 1));
    long loud = -1;
    for (std::size_t index = 0; index < samples.size(); ++index) {
      if (std::abs(samples[index]) > 32767 / 4) {
        loud = static_cast<long>(index / channels);
        break;
      }
    }
    char line[160];
    std::snprintf(line, sizeof line, "audio %d %lld %zu %u %ld", static_cast<int>(type), pts, buffer.numSamples(),
                  channels, loud);
    write(line);
  }

  void hold(const CMSampleBuffer& buffer) {
    const auto limit = static_cast<std::size_t>(environmentNumber("RECORDING_EXTENSION_HOLD_FRAMES"));
    if (limit == 0) return;
    if (held_.size() == limit) held_.pop_front();
    held_.push_back(buffer);
  }

  std::mutex mutex_;
  std::FILE* log_;
  std::deque<CMSampleBuffer> held_;  // touched on the delivering thread only
};

}  // namespace

RP_EXTENSION_PRINCIPAL_CLASS(RecordingHandler)
