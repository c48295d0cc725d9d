#include "Platform/AVFAudio/LibavAudioEncoder.hpp"

#include <algorithm>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/samplefmt.h>
}

namespace platform {

namespace {

const AVCodec* findEncoder(const LibavCodec& library, AudioFormatID formatID) {
  if (formatID == kAudioFormatMPEG4AAC) return library.avcodec_find_encoder_by_name("aac");
  if (formatID == kAudioFormatOpus) return library.avcodec_find_encoder_by_name("libopus");
  return nullptr;
}

// Float when the codec takes it, else its first sample format.
AVSampleFormat preferredSampleFormat(const AVCodec& codec) {
  if (!codec.sample_fmts) return AV_SAMPLE_FMT_FLT;
  for (const auto* format = codec.sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format) {
    if (*format == AV_SAMPLE_FMT_FLT || *format == AV_SAMPLE_FMT_FLTP) return *format;
  }
  return codec.sample_fmts[0];
}

}  // namespace

std::unique_ptr<LibavAudioEncoder> LibavAudioEncoder::make(const Configuration& configuration) {
  const LibavCodec* library = libavcodec();
  if (!library) return nullptr;
  const AVCodec* codec = findEncoder(*library, configuration.formatID);
  if (!codec) return nullptr;
  std::unique_ptr<LibavAudioEncoder> encoder(new LibavAudioEncoder(*library, codec, configuration));
  if (!encoder->packet_ || encoder->open() < 0) return nullptr;
  return encoder;
}

LibavAudioEncoder::LibavAudioEncoder(const LibavCodec& library, const AVCodec* codec,
                                     const Configuration& configuration)
    : library_(library), codec_(codec), configuration_(configuration), packet_(library.av_packet_alloc()) {}

int LibavAudioEncoder::open() {
  CodecContextHandle context(library_.avcodec_alloc_context3(codec_));
  FrameHandle frame(av_frame_alloc());
  if (!context || !frame) return AVERROR(ENOMEM);
  context->sample_rate = configuration_.sampleRate;
  context->time_base = {1, configuration_.sampleRate};
  av_channel_layout_default(&context->ch_layout, configuration_.channels);
  context->sample_fmt = preferredSampleFormat(*codec_);
  context->bit_rate = configuration_.bitRate;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  AVDictionary* options = nullptr;
  if (configuration_.formatID == kAudioFormatOpus) {
    // Unconstrained, a steady tone runs far above the rate asked for.
    av_dict_set(&options, "vbr", "constrained", 0);
    if (configuration_.framesPerPacket > 0) {
      const double milliseconds = configuration_.framesPerPacket * 1000.0 / configuration_.sampleRate;
      av_dict_set(&options, "frame_duration", std::to_string(milliseconds).c_str(), 0);
    }
  }
  int status = library_.avcodec_open2(context.get(), codec_, &options);
  av_dict_free(&options);
  if (status < 0) return status;
  if (context->frame_size <= 0 ||
      (configuration_.framesPerPacket > 0 && context->frame_size != configuration_.framesPerPacket)) {
    return AVERROR(EINVAL);
  }

  frame->nb_samples = context->frame_size;
  frame->format = context->sample_fmt;
  frame->sample_rate = context->sample_rate;
  if ((status = av_channel_layout_copy(&frame->ch_layout, &context->ch_layout)) < 0) return status;
  if ((status = av_frame_get_buffer(frame.get(), 0)) < 0) return status;

  magicCookie_.assign(context->extradata, context->extradata + std::max(context->extradata_size, 0));
  fresh_ = true;
  context_ = std::move(context);
  frame_ = std::move(frame);
  return 0;
}

int LibavAudioEncoder::reopen() {
  // An encoder that has taken nothing yet is as good as a new one.
  if (fresh_) return 0;
  packets_.clear();
  nextPresentationTime_ = 0;
  return open();
}

int LibavAudioEncoder::setBitRate(std::int64_t bitRate) {
  if (bitRate == configuration_.bitRate) return 0;
  const auto previous = configuration_.bitRate;
  configuration_.bitRate = bitRate;
  // The AAC encoder sizes every packet from the context's rate; the others
  // read it only when opened, so they start over with it, keeping the packets
  // made so far and the stream's timing.
  if (configuration_.formatID == kAudioFormatMPEG4AAC && nextPresentationTime_ > 0) {
    context_->bit_rate = bitRate;
    return 0;
  }
  const int status = open();
  if (status < 0) configuration_.bitRate = previous;
  return status;
}

int LibavAudioEncoder::encode(AudioResampler& source, int frames) {
  const int frameSize = context_->frame_size;
  frames = std::clamp(frames, 0, frameSize);
  fresh_ = false;
  frame_->nb_samples = frameSize;
  int status = av_frame_make_writable(frame_.get());
  if (status < 0) return status;
  const int read = std::max(source.read(frame_->extended_data, frames), 0);
  int length = read;
  if (read < frameSize && !(codec_->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
    av_samples_set_silence(frame_->extended_data, read, frameSize - read, configuration_.channels,
                           context_->sample_fmt);
    length = frameSize;
  }
  frame_->nb_samples = length;
  frame_->pts = nextPresentationTime_;
  nextPresentationTime_ += length;
  status = library_.avcodec_send_frame(context_.get(), frame_.get());
  frame_->nb_samples = frameSize;
  return status < 0 ? status : receivePackets();
}

int LibavAudioEncoder::flush() {
  fresh_ = false;
  const int status = library_.avcodec_send_frame(context_.get(), nullptr);
  return status < 0 && status != AVERROR_EOF ? status : receivePackets();
}

int LibavAudioEncoder::receivePackets() {
  for (;;) {
    const int status = library_.avcodec_receive_packet(context_.get(), packet_.get());
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return 0;
    if (status < 0) return status;
    packets_.push_back({{packet_->data, packet_->data + packet_->size}, packet_->pts});
    library_.av_packet_unref(packet_.get());
  }
}

}  // namespace platform
