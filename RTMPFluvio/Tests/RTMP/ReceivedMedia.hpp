#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio::testing {

// The audio and video messages a server received of a publication, in
// order, to be read back by an independent decoder.
class ReceivedMedia {
 public:
  void add(const std::vector<RTMPReceivedMessage>& messages);

  // Video frames and audio buffers received, sequence headers aside.
  int videoFrames() const;
  int audioBuffers() const;
  // False when a video frame that follows a gap of more than `step` ms
  // after the previous one is not a key frame (nor is the first).
  bool keyFrameAfterEveryGap(std::uint32_t step) const;
  // What ffmpeg reports, at its error level, decoding all of it as an FLV
  // file; empty when it decodes cleanly.
  std::string decodeErrors() const;

 private:
  struct Tag {
    std::uint8_t type;
    std::uint32_t timestamp;
    std::vector<std::uint8_t> body;
  };
  std::vector<std::uint8_t> flv() const;

  std::vector<Tag> tags_;
};

}  // namespace rtmpfluvio::testing
