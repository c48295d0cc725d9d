// libavcodec's Opus encoder and decoder judge the identification header we
// write: the decoder must open with it and decode the encoder's packets.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "RTMPFluvio/Sources/Codec/OpusHeader.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Context = std::unique_ptr<AVCodecContext, ContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

// The channel layouts a surround Opus stream carries, by channel count.
AVChannelLayout vorbisLayout(int channels) {
  constexpr std::uint64_t masks[] = {AV_CH_LAYOUT_MONO,    AV_CH_LAYOUT_STEREO,      AV_CH_LAYOUT_SURROUND,
                                     AV_CH_LAYOUT_QUAD,    AV_CH_LAYOUT_5POINT0_BACK, AV_CH_LAYOUT_5POINT1_BACK,
                                     AV_CH_LAYOUT_6POINT1, AV_CH_LAYOUT_7POINT1};
  AVChannelLayout layout{};
  av_channel_layout_from_mask(&layout, masks[channels - 1]);
  return layout;
}

struct Encoded {
  Bytes extradata;  // the encoder's own header
  std::vector<Packet> packets;
};

// Half a second of a tone per channel through libavcodec's Opus encoder.
Encoded encode(int channels) {
  Encoded result;
  const AVCodec* codec = avcodec_find_encoder_by_name("libopus");
  if (!codec) {
    ADD_FAILURE() << "no libopus encoder";
    return result;
  }
  Context context(avcodec_alloc_context3(codec));
  context->sample_rate = 48000;
  context->time_base = {1, 48000};
  context->ch_layout = vorbisLayout(channels);
  context->sample_fmt = AV_SAMPLE_FMT_FLT;
  context->bit_rate = 64000 * channels;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    ADD_FAILURE() << "the encoder refuses " << channels << " channels";
    return result;
  }
  result.extradata.assign(context->extradata, context->extradata + context->extradata_size);
  Frame frame(av_frame_alloc());
  frame->nb_samples = context->frame_size;
  frame->format = context->sample_fmt;
  av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
  av_frame_get_buffer(frame.get(), 0);
  Packet packet(av_packet_alloc());
  const auto drain = [&] {
    while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
      result.packets.emplace_back(av_packet_clone(packet.get()));
      av_packet_unref(packet.get());
    }
  };
  for (int index = 0; index < 25; ++index) {
    av_frame_make_writable(frame.get());
    auto* samples = reinterpret_cast<float*>(frame->data[0]);
    for (int sample = 0; sample < frame->nb_samples; ++sample) {
      for (int channel = 0; channel < channels; ++channel) {
        const double time = (index * frame->nb_samples + sample) / 48000.0;
        samples[sample * channels + channel] = static_cast<float>(0.3 * std::sin(2 * M_PI * (300 + 100 * channel) * time));
      }
    }
    frame->pts = static_cast<std::int64_t>(index) * frame->nb_samples;
    avcodec_send_frame(context.get(), frame.get());
    drain();
  }
  avcodec_send_frame(context.get(), nullptr);
  drain();
  return result;
}

// Decoded frames of `packets` by the native decoder opened with `header`;
// -1 when it does not open.
int decodedFrames(const Bytes& header, int channels, const std::vector<Packet>& packets) {
  const AVCodec* codec = avcodec_find_decoder_by_name("opus");
  Context context(avcodec_alloc_context3(codec));
  context->extradata = static_cast<std::uint8_t*>(av_mallocz(header.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(header.begin(), header.end(), context->extradata);
  context->extradata_size = static_cast<int>(header.size());
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return -1;
  int frames = 0;
  Frame frame(av_frame_alloc());
  for (const auto& packet : packets) {
    if (avcodec_send_packet(context.get(), packet.get()) < 0) return frames;
    while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
      if (frame->ch_layout.nb_channels == channels) ++frames;
    }
  }
  return frames;
}

TEST(OpusHeaderPeerTests, TheDecoderOpensWithOurHeaderAndDecodesEveryChannelCount) {
  for (int channels = 1; channels <= 8; ++channels) {
    const auto header = makeOpusHeader(static_cast<std::uint32_t>(channels), 48000);
    ASSERT_TRUE(header) << channels;
    const Encoded encoded = encode(channels);
    ASSERT_FALSE(encoded.packets.empty()) << channels;

    // The encoder's own header, but for its pre-skip, which ours leaves at 0.
    Bytes expected = encoded.extradata;
    ASSERT_GE(expected.size(), 12u);
    expected[10] = expected[11] = 0;
    EXPECT_EQ(*header, expected) << channels << " channels: stream counts and channel order";
    EXPECT_EQ(decodedFrames(*header, channels, encoded.packets), static_cast<int>(encoded.packets.size()))
        << channels << " channels";
  }
}

}  // namespace
}  // namespace rtmpfluvio
