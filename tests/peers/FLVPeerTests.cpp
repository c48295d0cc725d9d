// FLV bodies and decoder configuration records checked against the ffmpeg
// tools and libavcodec, on streams the ffmpeg CLI encodes at test time.

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "RTMPFluvio/Sources/Codec/AVCDecoderConfigurationRecord.hpp"
#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "tests/peers/support/Process.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kFrameCount = 30;

struct Packet {
  Bytes data;
  std::int64_t pts;  // milliseconds
  std::int64_t dts;
  bool isKey;
};

// One stream of a movie file as libavformat reads it.
struct Track {
  Bytes extradata;
  std::vector<Packet> packets;
};

// The first video and audio tracks of a movie file.
std::map<AVMediaType, Track> readTracks(const std::filesystem::path& path) {
  AVFormatContext* context = nullptr;
  EXPECT_EQ(avformat_open_input(&context, path.c_str(), nullptr, nullptr), 0);
  if (!context) return {};
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owner(context, [](AVFormatContext* format) {
    avformat_close_input(&format);
  });
  EXPECT_GE(avformat_find_stream_info(context, nullptr), 0);
  std::map<AVMediaType, Track> tracks;
  std::map<int, AVMediaType> typeOfStream;
  for (unsigned index = 0; index < context->nb_streams; ++index) {
    const AVCodecParameters* parameters = context->streams[index]->codecpar;
    if (tracks.contains(parameters->codec_type)) continue;
    typeOfStream[static_cast<int>(index)] = parameters->codec_type;
    tracks[parameters->codec_type].extradata.assign(parameters->extradata,
                                                    parameters->extradata + parameters->extradata_size);
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    const auto type = typeOfStream.find(packet->stream_index);
    if (type != typeOfStream.end()) {
      const AVRational timeBase = context->streams[packet->stream_index]->time_base;
      const auto milliseconds = [&](std::int64_t time) { return av_rescale_q(time, timeBase, {1, 1000}); };
      tracks[type->second].packets.push_back({Bytes(packet->data, packet->data + packet->size),
                                              milliseconds(packet->pts), milliseconds(packet->dts),
                                              (packet->flags & AV_PKT_FLAG_KEY) != 0});
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return tracks;
}

std::filesystem::path encodeMovie(const peers::TemporaryDirectory& directory, const std::string& name,
                                  const std::string& videoCodec) {
  const auto path = directory.path() / name;
  const auto result = peers::run(
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=30 -f lavfi -i sine=frequency=440:sample_rate=44100 "
      "-frames:v " + std::to_string(kFrameCount) + " -t 1 -c:v " + videoCodec +
      " -pix_fmt yuv420p -c:a aac -ac 2 -b:a 128k " + (videoCodec == "libx265" ? "-x265-params log-level=error " : "") +
      peers::quoted(path.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return path;
}

// An FLV file of video and audio tags, each tag holding one message body.
class FLVFile {
 public:
  void add(std::uint8_t tagType, const RTMPMessage& message) { tags_.push_back({tagType, message.timestamp(), message.payload()}); }

  void write(const std::filesystem::path& path) {
    std::stable_sort(tags_.begin(), tags_.end(), [](const Tag& lhs, const Tag& rhs) { return lhs.timestamp < rhs.timestamp; });
    Bytes bytes{'F', 'L', 'V', 0x01, 0x05, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00};
    for (const Tag& tag : tags_) {
      const auto size = static_cast<std::uint32_t>(tag.body.size());
      bytes.insert(bytes.end(), {tag.type, std::uint8_t(size >> 16), std::uint8_t(size >> 8), std::uint8_t(size),
                                 std::uint8_t(tag.timestamp >> 16), std::uint8_t(tag.timestamp >> 8),
                                 std::uint8_t(tag.timestamp), std::uint8_t(tag.timestamp >> 24), 0, 0, 0});
      bytes.insert(bytes.end(), tag.body.begin(), tag.body.end());
      const std::uint32_t tagSize = size + 11;
      bytes.insert(bytes.end(), {std::uint8_t(tagSize >> 24), std::uint8_t(tagSize >> 16), std::uint8_t(tagSize >> 8),
                                 std::uint8_t(tagSize)});
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }

 private:
  struct Tag {
    std::uint8_t type;
    std::uint32_t timestamp;
    Bytes body;
  };
  std::vector<Tag> tags_;
};

constexpr std::uint8_t kAudioTag = 8;
constexpr std::uint8_t kVideoTag = 9;

std::shared_ptr<platform::CMSampleBuffer> sampleOf(const Packet& packet,
                                                   const std::shared_ptr<const platform::CMFormatDescription>& description) {
  const std::size_t size = packet.data.size();
  const platform::CMSampleTimingInfo timing{platform::CMTime::invalid, platform::CMTime::make(packet.pts, 1000),
                                            platform::CMTime::make(packet.dts, 1000)};
  auto sample = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(Bytes(packet.data)), true, description, 1,
                                               {&timing, 1}, {&size, 1});
  EXPECT_TRUE(sample) << sample.status;
  if (!packet.isKey) sample.value->mutableSampleAttachments().front()[platform::CMSampleAttachmentKey::notSync] = true;
  return sample.value;
}

std::string probe(const std::filesystem::path& path, const std::string& stream, const std::string& entries) {
  const auto result = peers::run("ffprobe -v error -count_frames -select_streams " + stream + " -show_entries stream=" +
                                 entries + " -of default=noprint_wrappers=1 " + peers::quoted(path.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return result.output;
}

// One libavcodec decoder opened with a record as its extradata.
class Decoder {
 public:
  Decoder(AVCodecID codecId, const Bytes& extradata) {
    const AVCodec* codec = avcodec_find_decoder(codecId);
    context_ = avcodec_alloc_context3(codec);
    context_->extradata = static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy(extradata.begin(), extradata.end(), context_->extradata);
    context_->extradata_size = static_cast<int>(extradata.size());
    opened_ = avcodec_open2(context_, codec, nullptr) == 0;
  }
  ~Decoder() { avcodec_free_context(&context_); }

  bool opened() const { return opened_; }

  // Pictures decoded from length-prefixed packets, none of them corrupt.
  int decode(const std::vector<Packet>& packets) {
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int pictures = 0;
    const auto receive = [&] {
      while (avcodec_receive_frame(context_, frame) == 0) {
        if ((frame->flags & AV_FRAME_FLAG_CORRUPT) == 0 && frame->decode_error_flags == 0) ++pictures;
        av_frame_unref(frame);
      }
    };
    for (const Packet& input : packets) {
      Bytes padded(input.data);
      padded.resize(input.data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      packet->data = padded.data();
      packet->size = static_cast<int>(input.data.size());
      EXPECT_GE(avcodec_send_packet(context_, packet), 0);
      receive();
    }
    avcodec_send_packet(context_, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return pictures;
  }

 private:
  AVCodecContext* context_ = nullptr;
  bool opened_ = false;
};

class FLVPeerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new peers::TemporaryDirectory();
    h264_ = new std::map<AVMediaType, Track>(readTracks(encodeMovie(*directory_, "h264.mp4", "libx264")));
    hevc_ = new std::map<AVMediaType, Track>(readTracks(encodeMovie(*directory_, "hevc.mp4", "libx265")));
  }
  static void TearDownTestSuite() {
    delete h264_;
    delete hevc_;
    delete directory_;
  }

  static const Track& h264Video() { return (*h264_)[AVMEDIA_TYPE_VIDEO]; }
  static const Track& aacAudio() { return (*h264_)[AVMEDIA_TYPE_AUDIO]; }
  static const Track& hevcVideo() { return (*hevc_)[AVMEDIA_TYPE_VIDEO]; }
  static const std::filesystem::path& directory() { return directory_->path(); }

 private:
  static inline peers::TemporaryDirectory* directory_ = nullptr;
  static inline std::map<AVMediaType, Track>* h264_ = nullptr;
  static inline std::map<AVMediaType, Track>* hevc_ = nullptr;
};

TEST_F(FLVPeerTest, AnFLVFileOfOurBodiesPlaysWithTheFormatsWePutIn) {
  ASSERT_EQ(h264Video().packets.size(), static_cast<std::size_t>(kFrameCount));
  ASSERT_FALSE(aacAudio().packets.empty());

  AVCDecoderConfigurationRecord record;
  record.setData(h264Video().extradata);
  const auto videoDescription = record.makeFormatDescription();
  ASSERT_TRUE(videoDescription);
  const auto config = fluvio::AudioSpecificConfig::make(aacAudio().extradata);
  ASSERT_TRUE(config);
  const auto audioFormat = config->makeAudioFormat();
  ASSERT_TRUE(audioFormat);

  // Decode times start below 0 when frames are reordered; tags start at 0.
  std::int64_t start = 0;
  for (const Packet& packet : h264Video().packets) start = std::min(start, packet.dts);
  const auto timestamp = [&](std::int64_t milliseconds) { return static_cast<std::uint32_t>(milliseconds - start); };

  FLVFile file;
  const auto videoHeader = RTMPVideoMessage::make(1, 0, videoDescription);
  const auto audioHeader = RTMPAudioMessage::make(1, 0, audioFormat->formatDescription());
  ASSERT_TRUE(videoHeader);
  ASSERT_TRUE(audioHeader);
  file.add(kVideoTag, *videoHeader);
  file.add(kAudioTag, *audioHeader);

  for (const Packet& packet : h264Video().packets) {
    const auto sample = sampleOf(packet, videoDescription);
    const auto message = RTMPVideoMessage::make(1, timestamp(packet.dts), sample.get());
    ASSERT_TRUE(message);
    file.add(kVideoTag, *message);
    // The receiving side reads back what we wrote.
    const auto received = message->makeSampleBuffer(platform::CMTime::make(packet.dts, 1000), videoDescription);
    ASSERT_TRUE(received);
    EXPECT_TRUE(std::ranges::equal(received->dataBuffer()->data(), packet.data));
    EXPECT_EQ(message->compositionTime(), packet.pts - packet.dts);
  }
  for (const Packet& packet : aacAudio().packets) {
    auto buffer = platform::AVAudioCompressedBuffer::make(audioFormat, 1, packet.data.size());
    ASSERT_TRUE(buffer);
    std::memcpy(buffer->data(), packet.data.data(), packet.data.size());
    buffer->setByteLength(static_cast<std::uint32_t>(packet.data.size()));
    const auto message = RTMPAudioMessage::make(1, timestamp(packet.pts), std::shared_ptr<const platform::AVAudioCompressedBuffer>(buffer));
    ASSERT_TRUE(message);
    file.add(kAudioTag, *message);
  }
  const auto path = directory() / "ours.flv";
  file.write(path);

  const auto decoded = peers::run("ffmpeg -nostdin -v error -i " + peers::quoted(path.string()) + " -f null -");
  EXPECT_EQ(decoded.exitCode, 0);
  EXPECT_EQ(decoded.output, "");

  EXPECT_EQ(probe(path, "v:0", "codec_name,profile,width,height,nb_read_frames"),
            "codec_name=h264\nprofile=High\nwidth=320\nheight=240\nnb_read_frames=" + std::to_string(kFrameCount) + "\n");
  EXPECT_EQ(probe(path, "a:0", "codec_name,profile,sample_rate,channels,nb_read_frames"),
            "codec_name=aac\nprofile=LC\nsample_rate=44100\nchannels=2\nnb_read_frames=" +
                std::to_string(aacAudio().packets.size()) + "\n");

  // Our reading of our own sequence headers gives back the formats.
  const auto videoBack = videoHeader->makeFormatDescription();
  ASSERT_TRUE(videoBack);
  EXPECT_EQ(videoBack->dimensions(), (platform::CMVideoDimensions{320, 240}));
  const auto audioBack = audioHeader->makeAudioFormat();
  ASSERT_TRUE(audioBack);
  EXPECT_EQ(audioBack->sampleRate(), 44100);
  EXPECT_EQ(audioBack->channelCount(), 2u);
}

TEST_F(FLVPeerTest, TheEncodersAVCRecordRoundTripsAndOpensTheDecoder) {
  const Bytes& extradata = h264Video().extradata;
  ASSERT_FALSE(extradata.empty());
  AVCDecoderConfigurationRecord record;
  record.setData(extradata);
  EXPECT_EQ(record.data(), extradata);
  EXPECT_EQ(record.sequenceParameterSets.size(), 1u);
  EXPECT_EQ(record.pictureParameterSets.size(), 1u);
  EXPECT_EQ(record.makeFormatDescription()->dimensions(), (platform::CMVideoDimensions{320, 240}));

  Decoder decoder(AV_CODEC_ID_H264, record.data());
  ASSERT_TRUE(decoder.opened());
  EXPECT_EQ(decoder.decode(h264Video().packets), kFrameCount);
}

TEST_F(FLVPeerTest, TheEncodersHEVCRecordRoundTripsAndOpensTheDecoder) {
  const Bytes& extradata = hevcVideo().extradata;
  ASSERT_FALSE(extradata.empty());
  HEVCDecoderConfigurationRecord record;
  record.setData(extradata);
  EXPECT_EQ(record.data(), extradata);
  EXPECT_EQ(record.generalProfileIdc, 1);  // Main
  EXPECT_EQ(record.lengthSizeMinusOne, 3);
  const auto description = record.makeFormatDescription();
  ASSERT_TRUE(description);
  EXPECT_EQ(description->dimensions(), (platform::CMVideoDimensions{320, 240}));

  Decoder decoder(AV_CODEC_ID_HEVC, record.data());
  ASSERT_TRUE(decoder.opened());
  EXPECT_EQ(decoder.decode(hevcVideo().packets), kFrameCount);

  // A sequence start made from that description reads back to the same size.
  const auto header = RTMPVideoMessage::make(1, 0, description);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->makeFormatDescription()->dimensions(), (platform::CMVideoDimensions{320, 240}));
}

}  // namespace
}  // namespace rtmpfluvio
