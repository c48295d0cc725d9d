#include <gtest/gtest.h>

#include <algorithm>

#include "RTMPFluvio/Sources/RTMP/RTMPAudioMessage.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using platform::AudioStreamBasicDescription;
using testing::Bytes;
using testing::concatenated;

const Bytes kOpusFourCC{'O', 'p', 'u', 's'};

AudioStreamBasicDescription aacLC(double sampleRate, std::uint32_t channels) {
  return {sampleRate, platform::kAudioFormatMPEG4AAC, 2, 0, 1024, 0, channels, 0};
}
AudioStreamBasicDescription opus(double sampleRate, std::uint32_t channels) {
  return {sampleRate, platform::kAudioFormatOpus, 0, 0, 960, 0, channels, 0};
}

std::shared_ptr<const platform::CMFormatDescription> descriptionOf(const AudioStreamBasicDescription& stream) {
  return platform::CMFormatDescription::makeAudio(stream).value;
}

std::shared_ptr<platform::AVAudioCompressedBuffer> bufferHolding(const AudioStreamBasicDescription& stream,
                                                                 const Bytes& frame, std::size_t capacity = 64) {
  auto buffer = platform::AVAudioCompressedBuffer::make(platform::AVAudioFormat::make(descriptionOf(stream)), 1, capacity);
  std::copy(frame.begin(), frame.end(), static_cast<std::uint8_t*>(buffer->data()));
  buffer->setByteLength(static_cast<std::uint32_t>(frame.size()));
  return buffer;
}

RTMPAudioMessage received(Bytes payload) { return RTMPAudioMessage(1, 0, std::move(payload)); }

TEST(RTMPAudioMessageTests, SequenceHeadersAreByteExact) {
  const auto aac = RTMPAudioMessage::make(1, 0, descriptionOf(aacLC(48000, 2)));
  ASSERT_TRUE(aac);
  EXPECT_EQ(aac->payload(), (Bytes{0xAF, 0x00, 0x11, 0x90}));
  EXPECT_EQ(aac->type(), RTMPMessageType::audio);

  const auto opusHeader = RTMPAudioMessage::make(1, 0, descriptionOf(opus(48000, 2)));
  ASSERT_TRUE(opusHeader);
  EXPECT_EQ(opusHeader->payload(),
            concatenated({{0x90}, kOpusFourCC, {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd'},
                          {0x01, 0x02, 0x00, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0x00, 0x00}}));

  // No configuration to send: no description, or a rate AAC has no index for.
  EXPECT_FALSE(RTMPAudioMessage::make(1, 0, std::shared_ptr<const platform::CMFormatDescription>()));
  EXPECT_FALSE(RTMPAudioMessage::make(1, 0, descriptionOf(aacLC(47000, 2))));
}

TEST(RTMPAudioMessageTests, FramesCarryTheBuffersValidBytes) {
  const Bytes frame{0x21, 0x10, 0x05};
  const auto aac = RTMPAudioMessage::make(1, 20, bufferHolding(aacLC(44100, 2), frame));
  ASSERT_TRUE(aac);
  EXPECT_EQ(aac->payload(), concatenated({{0xAF, 0x01}, frame}));
  EXPECT_EQ(aac->timestamp(), 20u);

  const auto opusFrame = RTMPAudioMessage::make(1, 0, bufferHolding(opus(48000, 2), frame));
  ASSERT_TRUE(opusFrame);
  EXPECT_EQ(opusFrame->payload(), concatenated({{0x91}, kOpusFourCC, frame}));
  EXPECT_FALSE(RTMPAudioMessage::make(1, 0, std::shared_ptr<const platform::AVAudioCompressedBuffer>()));
}

TEST(RTMPAudioMessageTests, ReceivedHeadersGiveTheirFormat) {
  EXPECT_EQ(received({}).soundFormat(), SoundFormat::unknown);
  EXPECT_EQ(received({0xC0}).soundFormat(), SoundFormat::unknown);
  EXPECT_EQ(received({0xAF}).soundFormat(), SoundFormat::aac);
  EXPECT_EQ(received({0x91, 'O'}).soundFormat(), SoundFormat::exHeader);

  const auto stereo = received({0xAF, 0x01, 0x21}).audioStreamBasicDescription();
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->mSampleRate, 44100);
  EXPECT_EQ(stereo->mChannelsPerFrame, 2u);
  EXPECT_EQ(stereo->mFramesPerPacket, 1024u);
  EXPECT_EQ(stereo->mFormatID, platform::kAudioFormatMPEG4AAC);
  const auto mono = received({0xA2, 0x01}).audioStreamBasicDescription();
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->mSampleRate, 5500);
  EXPECT_EQ(mono->mChannelsPerFrame, 1u);
  EXPECT_FALSE(received({0x91, 'O', 'p', 'u', 's'}).audioStreamBasicDescription());
  EXPECT_FALSE(received({0x2F, 0x01}).audioStreamBasicDescription());

  const auto fromConfig = received({0xAF, 0x00, 0x12, 0x10}).makeAudioFormat();
  ASSERT_TRUE(fromConfig);
  EXPECT_EQ(fromConfig->sampleRate(), 44100);
  EXPECT_EQ(fromConfig->channelCount(), 2u);
  EXPECT_EQ(fromConfig->streamDescription().mFormatFlags, 2u);  // AAC LC
  const auto fromHeaderByte = received({0xAF, 0x01, 0x21}).makeAudioFormat();
  ASSERT_TRUE(fromHeaderByte);
  EXPECT_EQ(fromHeaderByte->sampleRate(), 44100);

  for (const Bytes& payload : {Bytes{0xAF, 0x02}, Bytes{0xAF}, Bytes{}, Bytes{0xAF, 0x00, 0x12},
                               Bytes{0x91, 'O', 'p', 'u', 's'}}) {
    EXPECT_FALSE(received(payload).makeAudioFormat()) << payload.size();
  }
}

// The Opus sequence start we write reads back as the stream it announces,
// with the header kept for the decoder; Opus decodes at five rates only.
TEST(RTMPAudioMessageTests, AnOpusSequenceStartReadsBackAsItsStream) {
  struct Case {
    double sampleRate;
    std::uint32_t channels;
    double decodedRate;
  };
  for (const auto& [sampleRate, channels, decodedRate] :
       {Case{48000, 2, 48000}, Case{24000, 1, 24000}, Case{44100, 6, 48000}}) {
    SCOPED_TRACE(channels);
    const auto header = RTMPAudioMessage::make(1, 0, descriptionOf(opus(sampleRate, channels)));
    ASSERT_TRUE(header);
    const auto start = received(header->payload());
    EXPECT_TRUE(start.isSupportedCodec());
    EXPECT_EQ(start.packetType(), flv::AudioPacketType::sequenceStart);
    const auto format = start.makeAudioFormat();
    ASSERT_TRUE(format);
    EXPECT_EQ(format->streamDescription().mFormatID, platform::kAudioFormatOpus);
    EXPECT_EQ(format->sampleRate(), decodedRate);
    EXPECT_EQ(format->channelCount(), channels);
    EXPECT_EQ(format->streamDescription().mFramesPerPacket, static_cast<std::uint32_t>(decodedRate / 50));
    EXPECT_EQ(format->formatDescription()->magicCookie(),
              Bytes(header->payload().begin() + 5, header->payload().end()));
  }

  const Bytes stereoHead{'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0, 0, 0x80, 0xBB, 0, 0, 0, 0, 0};
  auto withByte = [&](std::size_t index, std::uint8_t value) {
    Bytes head = stereoHead;
    head[index] = value;
    return concatenated({{0x90}, kOpusFourCC, head});
  };
  ASSERT_TRUE(received(concatenated({{0x90}, kOpusFourCC, stereoHead})).makeAudioFormat());
  // A frame alone, a short or misnamed header, no channels, more than two
  // without a mapping, or another FourCC: no format.
  for (const Bytes& payload :
       {concatenated({{0x91}, kOpusFourCC, stereoHead}), concatenated({{0x90}, kOpusFourCC, {'O', 'p', 'u', 's'}}),
        withByte(0, 'o'), withByte(9, 0), withByte(9, 3), withByte(9, 9),
        concatenated({{0x90}, {'O', 'p', 'u', 'x'}, stereoHead})}) {
    EXPECT_FALSE(received(payload).makeAudioFormat()) << payload.size() << " bytes";
  }
  EXPECT_FALSE(received(concatenated({{0x90}, {'f', 'L', 'a', 'C'}})).isSupportedCodec());
  EXPECT_EQ(received(concatenated({{0x91}, kOpusFourCC})).packetType(), flv::AudioPacketType::codedFrames);
  EXPECT_EQ(received({0xAF, 0x01}).packetType(), flv::AudioPacketType::codedFrames);
  EXPECT_FALSE(received(concatenated({{0x92}, kOpusFourCC})).packetType());
  EXPECT_FALSE(received({0x2F, 0x00}).packetType());
}

TEST(RTMPAudioMessageTests, CopyPayloadFillsOnePacketWithinCapacity) {
  auto buffer = bufferHolding(aacLC(44100, 2), {}, 4);
  ASSERT_TRUE(buffer);
  ASSERT_TRUE(received({0xAF, 0x01, 1, 2, 3}).copyPayload(buffer.get()));
  EXPECT_EQ(buffer->packetCount(), 1u);
  EXPECT_EQ(buffer->byteLength(), 3u);
  EXPECT_EQ(Bytes(static_cast<const std::uint8_t*>(buffer->data()), static_cast<const std::uint8_t*>(buffer->data()) + 3),
            (Bytes{1, 2, 3}));
  ASSERT_NE(buffer->packetDescriptions(), nullptr);
  EXPECT_EQ(buffer->packetDescriptions()[0], (platform::AudioStreamPacketDescription{0, 0, 3}));

  // An enhanced body's frame starts after its FourCC.
  ASSERT_TRUE(received({0x91, 'O', 'p', 'u', 's', 9}).copyPayload(buffer.get()));
  EXPECT_EQ(buffer->byteLength(), 1u);
  EXPECT_EQ(*static_cast<const std::uint8_t*>(buffer->data()), 9);

  // Too big for the buffer, no frame, or no buffer: nothing changes.
  EXPECT_FALSE(received({0xAF, 0x01, 1, 2, 3, 4, 5}).copyPayload(buffer.get()));
  EXPECT_FALSE(received({0xAF, 0x01}).copyPayload(buffer.get()));
  EXPECT_FALSE(received({}).copyPayload(buffer.get()));
  EXPECT_FALSE(received({0xAF, 0x01, 1}).copyPayload(nullptr));
  EXPECT_EQ(buffer->byteLength(), 1u);
}

}  // namespace
}  // namespace rtmpfluvio
