// Reads peer-chosen bytes as received audio and video bodies through every
// operation the playing stream calls on them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtmpfluvio;
  const std::vector<std::uint8_t> payload(data, data + size);

  const RTMPAudioMessage audio(1, 0, payload);
  audio.soundFormat();
  audio.audioStreamBasicDescription();
  if (const auto format = audio.makeAudioFormat()) {
    const auto buffer = platform::AVAudioCompressedBuffer::make(format, 1, 256);
    audio.copyPayload(buffer.get());
  }

  const RTMPVideoMessage video(1, 0, payload);
  video.isSupportedCodec();
  video.compositionTime();
  const auto description = video.makeFormatDescription();
  video.makeSampleBuffer(platform::CMTime::make(1000, 1000), description);
  return 0;
}
