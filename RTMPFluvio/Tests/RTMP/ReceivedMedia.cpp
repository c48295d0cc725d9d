#include "RTMPFluvio/Tests/RTMP/ReceivedMedia.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace rtmpfluvio::testing {
namespace {

constexpr std::uint8_t kAudioTag = 8;
constexpr std::uint8_t kVideoTag = 9;

bool isSequenceHeader(const std::vector<std::uint8_t>& body, std::uint8_t type) {
  return body.size() > 1 && body[1] == 0x00 && (type == kVideoTag || (body[0] >> 4) == 10);
}

bool isKeyFrame(const std::vector<std::uint8_t>& body) { return !body.empty() && (body[0] >> 4) == 1; }

void putBigEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
  for (int index = size - 1; index >= 0; --index) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
}

}  // namespace

void ReceivedMedia::add(const std::vector<RTMPReceivedMessage>& messages) {
  for (const auto& message : messages) {
    if (const auto* video = std::get_if<RTMPVideoMessage>(&message)) {
      tags_.push_back({kVideoTag, video->timestamp(), video->payload()});
    } else if (const auto* audio = std::get_if<RTMPAudioMessage>(&message)) {
      tags_.push_back({kAudioTag, audio->timestamp(), audio->payload()});
    }
  }
}

int ReceivedMedia::videoFrames() const {
  int count = 0;
  for (const auto& tag : tags_) count += tag.type == kVideoTag && !isSequenceHeader(tag.body, tag.type);
  return count;
}

int ReceivedMedia::audioBuffers() const {
  int count = 0;
  for (const auto& tag : tags_) count += tag.type == kAudioTag && !isSequenceHeader(tag.body, tag.type);
  return count;
}

bool ReceivedMedia::keyFrameAfterEveryGap(std::uint32_t step) const {
  bool first = true;
  std::uint32_t previous = 0;
  for (const auto& tag : tags_) {
    if (tag.type != kVideoTag || isSequenceHeader(tag.body, tag.type)) continue;
    if ((first || tag.timestamp - previous > step) && !isKeyFrame(tag.body)) return false;
    first = false;
    previous = tag.timestamp;
  }
  return true;
}

std::vector<std::uint8_t> ReceivedMedia::flv() const {
  // Audio and video present, then the first (empty) previous tag size.
  std::vector<std::uint8_t> bytes{'F', 'L', 'V', 1, 0x05, 0, 0, 0, 9, 0, 0, 0, 0};
  for (const auto& tag : tags_) {
    const auto size = static_cast<std::uint32_t>(tag.body.size());
    bytes.push_back(tag.type);
    putBigEndian(bytes, size, 3);
    putBigEndian(bytes, tag.timestamp & 0xFFFFFF, 3);
    bytes.push_back(static_cast<std::uint8_t>(tag.timestamp >> 24));
    putBigEndian(bytes, 0, 3);
    bytes.insert(bytes.end(), tag.body.begin(), tag.body.end());
    putBigEndian(bytes, 11 + size, 4);
  }
  return bytes;
}

std::string ReceivedMedia::decodeErrors() const {
  std::string path = ::testing::TempDir() + "received-XXXXXX";
  const int descriptor = ::mkstemp(path.data());
  if (descriptor < 0) throw std::runtime_error("no temporary file");
  ::close(descriptor);
  {
    const auto bytes = flv();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  std::string output;
  if (FILE* pipe = ::popen(("ffmpeg -nostdin -v error -f flv -i '" + path + "' -f null - 2>&1").c_str(), "r")) {
    char buffer[4096];
    while (const auto count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
    if (::pclose(pipe) != 0 && output.empty()) output = "ffmpeg failed";
  } else {
    output = "ffmpeg did not start";
  }
  std::remove(path.c_str());
  return output;
}

}  // namespace rtmpfluvio::testing
