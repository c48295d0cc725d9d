#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct ADTSStream {
  ADTSHeader firstHeader;
  std::vector<std::span<const std::uint8_t>> rawFrames;  // without their headers
};

// Splits a stream into its frames, checking every header on the way.
ADTSStream split(const Bytes& stream) {
  ADTSStream result;
  std::size_t offset = 0;
  while (offset < stream.size()) {
    const auto rest = std::span(stream).subspan(offset);
    const ADTSHeader header(rest);
    EXPECT_TRUE(rest.size() >= AudioSpecificConfig::adtsHeaderSize && header.sync == 0xFF && (rest[1] & 0xF0) == 0xF0)
        << "no frame at byte " << offset;
    const std::size_t headerSize = header.protectionAbsent ? 7 : 9;
    if (header.aacFrameLength < headerSize || header.aacFrameLength > rest.size()) {
      ADD_FAILURE() << "frame length " << header.aacFrameLength << " at byte " << offset;
      break;
    }
    if (result.rawFrames.empty()) result.firstHeader = header;
    result.rawFrames.push_back(rest.subspan(headerSize, header.aacFrameLength - headerSize));
    offset += header.aacFrameLength;
  }
  return result;
}

// Each raw frame behind a header written from `config`.
Bytes withHeaders(const AudioSpecificConfig& config, const std::vector<std::span<const std::uint8_t>>& rawFrames) {
  Bytes stream;
  for (const auto frame : rawFrames) {
    const auto start = stream.size();
    stream.resize(start + AudioSpecificConfig::adtsHeaderSize);
    EXPECT_TRUE(config.encode(std::span(stream).subspan(start), frame.size()));
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  return stream;
}

std::string probe(const std::filesystem::path& file, const std::string& entries, const std::string& options = "") {
  const auto result = peers::run("ffprobe -v error " + options + " -select_streams a:0 -show_entries stream=" + entries +
                                 " -of default=noprint_wrappers=1 " + peers::quoted(file.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return result.output;
}

TEST(ADTSPeerTests, FramesBehindOurHeadersAreReadAsTheOriginalStream) {
  peers::TemporaryDirectory directory;
  const auto source = directory.path() / "source.aac";
  const auto encoded = peers::run("ffmpeg -v error -f lavfi -i sine=frequency=1000:sample_rate=48000 -t 1 -c:a aac -f adts " +
                                  peers::quoted(source.string()));
  ASSERT_EQ(encoded.exitCode, 0) << encoded.output;

  const auto original = readFile(source);
  const auto stream = split(original);
  ASSERT_GT(stream.rawFrames.size(), 40u);  // about 47 frames of 1,024 samples
  const auto& header = stream.firstHeader;
  EXPECT_EQ(header.profile + 1, rawValue(AudioObjectType::aacLc));
  EXPECT_EQ(header.sampleFrequencyIndex, rawValue(SamplingFrequency::hz48000));
  EXPECT_EQ(header.channelConfiguration, rawValue(ChannelConfiguration::frontCenter));

  const AudioSpecificConfig config{*fromRawValue<AudioObjectType>(static_cast<std::uint8_t>(header.profile + 1)),
                                   *fromRawValue<SamplingFrequency>(header.sampleFrequencyIndex),
                                   *fromRawValue<ChannelConfiguration>(header.channelConfiguration)};
  const auto rewritten = withHeaders(config, stream.rawFrames);
  // The muxer writes the same header we do, MPEG-4 identifier included.
  EXPECT_EQ(rewritten, original);

  const auto copy = directory.path() / "rewritten.aac";
  writeFile(copy, rewritten);
  EXPECT_EQ(probe(copy, "codec_name,sample_rate,channels"), "codec_name=aac\nsample_rate=48000\nchannels=1\n");
  EXPECT_EQ(probe(copy, "nb_read_packets", "-count_packets"),
            "nb_read_packets=" + std::to_string(stream.rawFrames.size()) + "\n");

  const auto decoded = peers::run("ffmpeg -v error -i " + peers::quoted(copy.string()) + " -f null -");
  EXPECT_EQ(decoded.exitCode, 0);
  EXPECT_EQ(decoded.output, "");
}

TEST(ADTSPeerTests, AnLTPStreamGetsTheMuxersHeaderAndReadsAsLTP) {
  peers::TemporaryDirectory directory;
  const auto source = directory.path() / "ltp.aac";
  const auto encoded = peers::run("ffmpeg -v error -f lavfi -i sine=frequency=1000:sample_rate=48000 -ac 2 -t 0.5 -c:a aac "
                                  "-profile:a aac_ltp -strict -2 -f adts " + peers::quoted(source.string()));
  ASSERT_EQ(encoded.exitCode, 0) << encoded.output;
  const auto original = readFile(source);
  const auto stream = split(original);
  ASSERT_FALSE(stream.rawFrames.empty());

  const AudioSpecificConfig config{AudioObjectType::aacLtp, SamplingFrequency::hz48000, *makeChannelConfiguration(2)};
  const auto rewritten = withHeaders(config, stream.rawFrames);
  EXPECT_EQ(rewritten, original) << "an MPEG-2 identifier would make the profile a reserved one";
  const auto copy = directory.path() / "rewritten.aac";
  writeFile(copy, rewritten);
  EXPECT_EQ(probe(copy, "profile"), "profile=LTP\n");
}

TEST(ADTSPeerTests, AStereoConfigWritesAStreamFFprobeReadsAsStereo) {
  peers::TemporaryDirectory directory;
  const auto source = directory.path() / "stereo.aac";
  const auto encoded = peers::run("ffmpeg -v error -f lavfi -i sine=frequency=1000:sample_rate=44100 -ac 2 -t 0.5 -c:a aac -f adts " +
                                  peers::quoted(source.string()));
  ASSERT_EQ(encoded.exitCode, 0) << encoded.output;
  const auto stream = split(readFile(source));
  ASSERT_FALSE(stream.rawFrames.empty());

  // Built from the encoder's settings, not from the headers it wrote.
  const AudioSpecificConfig config{AudioObjectType::aacLc, *makeSamplingFrequency(44100),
                                   *makeChannelConfiguration(2)};
  const auto rewritten = withHeaders(config, stream.rawFrames);
  const auto copy = directory.path() / "rewritten.aac";
  writeFile(copy, rewritten);
  EXPECT_EQ(probe(copy, "codec_name,sample_rate,channels"), "codec_name=aac\nsample_rate=44100\nchannels=2\n");
}

}  // namespace
}  // namespace fluvio
