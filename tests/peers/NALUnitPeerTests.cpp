// NAL unit conversions checked against libavcodec's H.264 decoder on a real
// stream encoded by the ffmpeg CLI.

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/ISO/H264NALUnit.hpp"
#include "Fluvio/Sources/ISO/ISOTypeBufferUtil.hpp"
#include "Fluvio/Sources/ISO/NALStartCodes.hpp"
#include "Fluvio/Sources/ISO/NALUnitReader.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int frameCount = 10;
const Bytes startCode{0x00, 0x00, 0x00, 0x01};

Bytes encodeTestStream() {
  peers::TemporaryDirectory directory;
  const auto path = directory.path() / "out.h264";
  const auto result = peers::run(
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=30 -frames:v " +
      std::to_string(frameCount) + " -c:v libx264 -bsf:v h264_mp4toannexb -f h264 " + peers::quoted(path.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

struct DecodedFrame {
  std::uint64_t hash;
  bool corrupt;

  bool operator==(const DecodedFrame&) const = default;
};

std::uint64_t hashPicture(const AVFrame& frame) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  std::uint64_t hash = 1469598103934665603ull;
  for (int plane = 0; plane < 3 && frame.data[plane] != nullptr; ++plane) {
    const int width = plane == 0 ? frame.width : AV_CEIL_RSHIFT(frame.width, descriptor->log2_chroma_w);
    const int height = plane == 0 ? frame.height : AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h);
    for (int row = 0; row < height; ++row) {
      const std::uint8_t* pixels = frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane];
      for (int column = 0; column < width; ++column) hash = (hash ^ pixels[column]) * 1099511628211ull;
    }
  }
  return hash;
}

// One H.264 decoder, fed whole packets.
class Decoder {
 public:
  explicit Decoder(const Bytes& extradata = {}) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_.reset(avcodec_alloc_context3(codec));
    context_->thread_count = 1;
    if (!extradata.empty()) {
      context_->extradata = static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      std::copy(extradata.begin(), extradata.end(), context_->extradata);
      context_->extradata_size = static_cast<int>(extradata.size());
    }
    EXPECT_EQ(avcodec_open2(context_.get(), codec, nullptr), 0);
  }

  void send(std::span<const std::uint8_t> bytes) {
    Bytes padded(bytes.begin(), bytes.end());
    padded.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet_->data = padded.data();
    packet_->size = static_cast<int>(bytes.size());
    EXPECT_GE(avcodec_send_packet(context_.get(), packet_.get()), 0);
    receive();
  }

  std::vector<DecodedFrame> finish() {
    avcodec_send_packet(context_.get(), nullptr);
    receive();
    return frames_;
  }

 private:
  struct ContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
  };
  struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
  };
  struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
  };

  void receive() {
    while (avcodec_receive_frame(context_.get(), frame_.get()) == 0) {
      frames_.push_back({hashPicture(*frame_), (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0 ||
                                                   frame_->decode_error_flags != 0});
      av_frame_unref(frame_.get());
    }
  }

  std::unique_ptr<AVCodecContext, ContextDeleter> context_;
  std::unique_ptr<AVPacket, PacketDeleter> packet_{av_packet_alloc()};
  std::unique_ptr<AVFrame, FrameDeleter> frame_{av_frame_alloc()};
  std::vector<DecodedFrame> frames_;
};

// A start-code stream cut into access units by libavcodec's own parser.
std::vector<DecodedFrame> decodeByteStream(const Bytes& stream) {
  struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
  };
  Decoder decoder;
  std::unique_ptr<AVCodecParserContext, ParserDeleter> parser(av_parser_init(AV_CODEC_ID_H264));
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> parserContext(
      avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264)),
      [](AVCodecContext* context) { avcodec_free_context(&context); });
  Bytes padded(stream);
  padded.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  const std::uint8_t* input = padded.data();
  int remaining = static_cast<int>(stream.size());
  while (true) {
    // A call with nothing left flushes the parser's last access unit.
    const bool flushing = remaining == 0;
    std::uint8_t* packet = nullptr;
    int packetSize = 0;
    const int used = av_parser_parse2(parser.get(), parserContext.get(), &packet, &packetSize, input, remaining,
                                      AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    input += used;
    remaining -= used;
    if (packetSize > 0) {
      decoder.send({packet, static_cast<std::size_t>(packetSize)});
    } else if (flushing) {
      break;
    }
  }
  return decoder.finish();
}

Bytes joinWithStartCodes(const std::vector<Bytes>& units) {
  Bytes stream;
  for (const Bytes& unit : units) {
    stream.insert(stream.end(), startCode.begin(), startCode.end());
    stream.insert(stream.end(), unit.begin(), unit.end());
  }
  return stream;
}

// The stream as the encoder side hands it on: a format description from the
// parameter sets and one length-prefixed sample per frame, not-sync marked.
struct Samples {
  std::shared_ptr<const platform::CMFormatDescription> formatDescription;
  std::vector<std::shared_ptr<platform::CMSampleBuffer>> frames;
};

Samples makeSamples(const Bytes& stream) {
  std::vector<Bytes> parameterSets;
  std::vector<std::pair<Bytes, bool>> frames;  // the frame's units as the stream has them, key frame
  std::size_t frameStart = 0;
  bool frameOpen = false;
  for (const NALStartCodeUnit& place : findNALStartCodeUnits(stream)) {
    const H264NALUnit unit({stream.data() + place.offset, place.length});
    if (unit.type() == H264NALUnitType::sps || unit.type() == H264NALUnitType::pps) {
      parameterSets.push_back(unit.data());
      continue;
    }
    // Other units (SEI) travel with the frame they precede.
    if (!frameOpen) frameStart = place.startCodeOffset;
    frameOpen = true;
    if (unit.type() == H264NALUnitType::idr || unit.type() == H264NALUnitType::slice) {
      const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(frameStart);
      frames.emplace_back(Bytes(begin, stream.begin() + static_cast<std::ptrdiff_t>(place.offset + place.length)),
                          unit.type() == H264NALUnitType::idr);
      frameOpen = false;
    }
  }

  Samples samples;
  const std::vector<std::span<const std::uint8_t>> sets(parameterSets.begin(), parameterSets.end());
  auto description = platform::CMFormatDescription::makeFromH264ParameterSets(sets, 4);
  EXPECT_TRUE(description) << description.status;
  samples.formatDescription = description.value;
  for (auto& [bytes, keyFrame] : frames) {
    ISOTypeBufferUtil::toNALFileFormat(bytes);
    const std::size_t size = bytes.size();
    auto sample = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::move(bytes)), true,
                                                 samples.formatDescription, 1, {}, {&size, 1});
    EXPECT_TRUE(sample) << sample.status;
    if (!keyFrame) setNotSync(*sample.value, true);
    samples.frames.push_back(sample.value);
  }
  return samples;
}

class NALUnitPeerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    stream_ = new Bytes(encodeTestStream());
    reference_ = new std::vector<DecodedFrame>(decodeByteStream(*stream_));
  }
  static void TearDownTestSuite() {
    delete stream_;
    delete reference_;
  }

  static const Bytes& stream() { return *stream_; }
  static const std::vector<DecodedFrame>& reference() { return *reference_; }

 private:
  static inline Bytes* stream_ = nullptr;
  static inline std::vector<DecodedFrame>* reference_ = nullptr;
};

TEST_F(NALUnitPeerTest, TheEncodedStreamDecodesWhole) {
  ASSERT_EQ(reference().size(), static_cast<std::size_t>(frameCount));
  for (const DecodedFrame& frame : reference()) EXPECT_FALSE(frame.corrupt);
}

TEST_F(NALUnitPeerTest, StartCodeUnitsAreTheStreamsUnits) {
  const auto units = NALUnitReader().read<H264NALUnit>(stream());
  int sps = 0, pps = 0, idr = 0, slices = 0;
  for (const H264NALUnit& unit : units) {
    sps += unit.type() == H264NALUnitType::sps;
    pps += unit.type() == H264NALUnitType::pps;
    idr += unit.type() == H264NALUnitType::idr;
    slices += unit.type() == H264NALUnitType::slice;
  }
  EXPECT_EQ(sps, 1);
  EXPECT_EQ(pps, 1);
  EXPECT_EQ(idr, 1);
  EXPECT_EQ(idr + slices, frameCount);
  // Data order reversed: the stream's first unit is listed last.
  EXPECT_EQ(units.back().type(), H264NALUnitType::sps);
}

TEST_F(NALUnitPeerTest, LengthPrefixedAndBackDecodesTheSamePictures) {
  Bytes prefixed = stream();
  ISOTypeBufferUtil::toNALFileFormat(prefixed);

  // Every prefix lands on the next one and the last ends the data.
  std::size_t position = 0;
  int units = 0;
  while (position + 4 <= prefixed.size()) {
    position += 4 + (std::size_t{prefixed[position]} << 24 | std::size_t{prefixed[position + 1]} << 16 |
                     std::size_t{prefixed[position + 2]} << 8 | prefixed[position + 3]);
    ++units;
  }
  EXPECT_EQ(position, prefixed.size());
  EXPECT_EQ(units, static_cast<int>(NALUnitReader().read<H264NALUnit>(stream()).size()));

  const Bytes restored = ISOTypeBufferUtil(prefixed.data(), static_cast<std::uint32_t>(prefixed.size())).toByteStream();
  EXPECT_EQ(decodeByteStream(restored), reference());
}

TEST_F(NALUnitPeerTest, LengthPrefixedSamplesDecodeWithTheFormatDescriptionsRecord) {
  const Samples samples = makeSamples(stream());
  ASSERT_EQ(samples.frames.size(), static_cast<std::size_t>(frameCount));
  const auto* atoms = samples.formatDescription->extension(
      platform::kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms);
  ASSERT_NE(atoms, nullptr);

  Decoder decoder(std::get<platform::CMFormatDescriptionAtoms>(*atoms).at("avcC"));
  for (const auto& frame : samples.frames) decoder.send(frame->dataBuffer()->data());
  EXPECT_EQ(decoder.finish(), reference());
}

TEST_F(NALUnitPeerTest, TheReadersUnitsMakeADecodableStartCodeStream) {
  const Samples samples = makeSamples(stream());
  NALUnitReader reader;
  Bytes rebuilt;
  for (const auto& frame : samples.frames) {
    const auto units = reader.read(*frame);
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(units.front(), isNotSync(*frame) ? (Bytes{0x09, 0x30}) : (Bytes{0x09, 0x10}));
    const Bytes access = joinWithStartCodes(units);
    rebuilt.insert(rebuilt.end(), access.begin(), access.end());
  }
  EXPECT_EQ(decodeByteStream(rebuilt), reference());
}

}  // namespace
}  // namespace fluvio
