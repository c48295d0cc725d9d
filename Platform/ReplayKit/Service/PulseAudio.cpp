#include "Platform/ReplayKit/Service/PulseAudio.hpp"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <vector>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {
namespace {

int channelsOf(RPSampleBufferType type) { return type == RPSampleBufferType::audioApp ? 2 : 1; }

}  // namespace

std::unique_ptr<PulseAudio> PulseAudio::make(RPSampleBufferType type, AudioSink sink, std::string& error) {
  const pa_sample_spec spec{PA_SAMPLE_S16LE, audioSampleRate, static_cast<std::uint8_t>(channelsOf(type))};
  const auto fragment = static_cast<std::uint32_t>(audioFramesPerBuffer * 2 * channelsOf(type));
  const pa_buffer_attr attributes{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                  static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), fragment};
  const char* device = type == RPSampleBufferType::audioApp ? "@DEFAULT_MONITOR@" : nullptr;
  int code = 0;
  pa_simple* stream = pa_simple_new(nullptr, "broadcast-service", PA_STREAM_RECORD, device,
                                    type == RPSampleBufferType::audioApp ? "app audio" : "microphone", &spec,
                                    nullptr, &attributes, &code);
  if (!stream) {
    error = pa_strerror(code);
    return nullptr;
  }
  return std::unique_ptr<PulseAudio>(new PulseAudio(stream, type, std::move(sink)));
}

PulseAudio::PulseAudio(pa_simple* stream, RPSampleBufferType type, AudioSink sink)
    : stream_(stream), type_(type), sink_(std::move(sink)), thread_([this] { run(); }) {}

PulseAudio::~PulseAudio() {
  stopping_ = true;
  thread_.join();
  pa_simple_free(stream_);
}

void PulseAudio::run() {
  const auto format = makeAudioFormat(channelsOf(type_));
  std::vector<std::int16_t> samples(std::size_t{audioFramesPerBuffer} * channelsOf(type_));
  std::uint64_t anchor = 0;
  std::uint64_t frames = 0;
  while (!stopping_) {
    int code = 0;
    if (pa_simple_read(stream_, samples.data(), samples.size() * sizeof(std::int16_t), &code) < 0) return;
    if (frames == 0) {
      // The first buffer's first frame was heard a buffer and the server's latency ago.
      const pa_usec_t latency = pa_simple_get_latency(stream_, &code);
      const std::uint64_t back = latency * 1000 + std::uint64_t{audioFramesPerBuffer} * 1'000'000'000 / audioSampleRate;
      const std::uint64_t now = HostClock::now();
      anchor = now > back ? now - back : 0;
    }
    const std::uint64_t hostTime = anchor + frames * 1'000'000'000 / audioSampleRate;
    frames += audioFramesPerBuffer;
    if (auto buffer = makeAudioSampleBuffer(format, samples, hostTime)) sink_(*buffer, type_);
  }
}

}  // namespace platform::broadcastservice
