#include "Platform/AVFAudio/AudioPacketDecoder.hpp"

#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace platform {

namespace {

const AVCodec* findDecoder(const LibavCodec& library, AudioFormatID formatID) {
  if (formatID == kAudioFormatMPEG4AAC) return library.avcodec_find_decoder_by_name("aac");
  if (formatID != kAudioFormatOpus) return nullptr;
  const AVCodec* native = library.avcodec_find_decoder_by_name("opus");
  return native ? native : library.avcodec_find_decoder_by_name("libopus");
}

}  // namespace

std::unique_ptr<AudioPacketDecoder> AudioPacketDecoder::make(AudioFormatID formatID, int sampleRate, int channels,
                                                             std::span<const std::uint8_t> magicCookie) {
  const LibavCodec* library = libavcodec();
  if (!library) return nullptr;
  const AVCodec* codec = findDecoder(*library, formatID);
  if (!codec || sampleRate <= 0 || channels <= 0 ||
      magicCookie.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() - AV_INPUT_BUFFER_PADDING_SIZE)) {
    return nullptr;
  }
  CodecContextHandle context(library->avcodec_alloc_context3(codec));
  PacketHandle packet(library->av_packet_alloc());
  FrameHandle frame(av_frame_alloc());
  if (!context || !packet || !frame) return nullptr;
  context->sample_rate = sampleRate;
  av_channel_layout_default(&context->ch_layout, channels);
  if (!magicCookie.empty()) {
    context->extradata = static_cast<std::uint8_t*>(av_mallocz(magicCookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context->extradata) return nullptr;
    std::memcpy(context->extradata, magicCookie.data(), magicCookie.size());
    context->extradata_size = static_cast<int>(magicCookie.size());
  }
  if (library->avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return std::unique_ptr<AudioPacketDecoder>(
      new AudioPacketDecoder(*library, std::move(context), std::move(packet), std::move(frame)));
}

AudioPacketDecoder::AudioPacketDecoder(const LibavCodec& library, CodecContextHandle context, PacketHandle packet,
                                       FrameHandle frame)
    : library_(library), context_(std::move(context)), packet_(std::move(packet)), frame_(std::move(frame)) {}

int AudioPacketDecoder::decode(std::span<const std::uint8_t> packet, const FrameSink& sink) {
  if (packet.empty() || packet.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return AVERROR_INVALIDDATA;
  }
  // The codec reads past the end of a packet, so it gets a padded copy.
  int status = library_.av_new_packet(packet_.get(), static_cast<int>(packet.size()));
  if (status < 0) return status;
  std::memcpy(packet_->data, packet.data(), packet.size());
  status = library_.avcodec_send_packet(context_.get(), packet_.get());
  library_.av_packet_unref(packet_.get());
  return status < 0 ? status : receiveFrames(sink);
}

int AudioPacketDecoder::finish(const FrameSink& sink) {
  const int status = library_.avcodec_send_packet(context_.get(), nullptr);
  return status < 0 && status != AVERROR_EOF ? status : receiveFrames(sink);
}

void AudioPacketDecoder::reset() noexcept { library_.avcodec_flush_buffers(context_.get()); }

int AudioPacketDecoder::receiveFrames(const FrameSink& sink) {
  for (;;) {
    int status = library_.avcodec_receive_frame(context_.get(), frame_.get());
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return 0;
    if (status < 0) return status;
    status = sink(*frame_);
    av_frame_unref(frame_.get());
    if (status < 0) return status;
  }
}

}  // namespace platform
