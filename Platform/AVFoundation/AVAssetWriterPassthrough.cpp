#include "Platform/AVFoundation/AVAssetWriterPassthrough.hpp"

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace platform {
namespace {

constexpr int videoTicksPerSecond = 90000;
constexpr int aacFramesPerPacket = 1024;

bool setExtradata(AVCodecParameters& parameters, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return false;
  parameters.extradata = static_cast<std::uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!parameters.extradata) return false;
  std::memcpy(parameters.extradata, bytes.data(), bytes.size());
  parameters.extradata_size = static_cast<int>(bytes.size());
  return true;
}

const std::vector<std::uint8_t>* atom(const CMFormatDescription& format, const std::string& name) {
  const auto* atoms = format.extension(kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms);
  const auto* table = atoms ? std::get_if<CMFormatDescriptionAtoms>(atoms) : nullptr;
  if (!table) return nullptr;
  const auto entry = table->find(name);
  return entry == table->end() ? nullptr : &entry->second;
}

std::optional<AVAssetWriterTrackFormat> videoTrackFormat(const CMFormatDescription& format) {
  const bool hevc = format.mediaSubType() == kCMVideoCodecType_HEVC;
  if (!hevc && format.mediaSubType() != kCMVideoCodecType_H264) return std::nullopt;
  const auto* configuration = atom(format, hevc ? "hvcC" : "avcC");
  const auto dimensions = format.dimensions();
  if (!configuration || dimensions.width <= 0 || dimensions.height <= 0) return std::nullopt;

  CodecParametersHandle parameters(avcodec_parameters_alloc());
  if (!parameters || !setExtradata(*parameters, *configuration)) return std::nullopt;
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
  // Parameter sets live only in the atom, which is what this tag says.
  parameters->codec_tag = hevc ? MKTAG('h', 'v', 'c', '1') : MKTAG('a', 'v', 'c', '1');
  parameters->width = dimensions.width;
  parameters->height = dimensions.height;
  return AVAssetWriterTrackFormat{std::move(parameters), {1, videoTicksPerSecond}};
}

std::optional<AVAssetWriterTrackFormat> audioTrackFormat(const CMFormatDescription& format) {
  const auto* stream = format.audioStreamBasicDescription();
  if (!stream || stream->mFormatID != kAudioFormatMPEG4AAC || stream->mChannelsPerFrame == 0 ||
      stream->mChannelsPerFrame > 8 || !(stream->mSampleRate >= 1 && stream->mSampleRate <= 384000) ||
      stream->mSampleRate != static_cast<int>(stream->mSampleRate)) {
    return std::nullopt;
  }
  const int sampleRate = static_cast<int>(stream->mSampleRate);
  CodecParametersHandle parameters(avcodec_parameters_alloc());
  if (!parameters || !setExtradata(*parameters, format.magicCookie())) return std::nullopt;
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = AV_CODEC_ID_AAC;
  parameters->sample_rate = sampleRate;
  av_channel_layout_default(&parameters->ch_layout, static_cast<int>(stream->mChannelsPerFrame));
  parameters->frame_size =
      stream->mFramesPerPacket > 0 ? static_cast<int>(stream->mFramesPerPacket) : aacFramesPerPacket;
  return AVAssetWriterTrackFormat{std::move(parameters), {1, sampleRate}};
}

void releaseBlock(void* opaque, std::uint8_t*) { delete static_cast<std::shared_ptr<CMBlockBuffer>*>(opaque); }

// A reference to the sample's data that packets can share; the bytes are
// never written through it.
AVBufferRef* shareData(const std::shared_ptr<CMBlockBuffer>& block) {
  auto* owner = new std::shared_ptr<CMBlockBuffer>(block);
  const auto bytes = block->mutableData();
  AVBufferRef* reference = av_buffer_create(bytes.data(), bytes.size(), releaseBlock, owner, AV_BUFFER_FLAG_READONLY);
  if (!reference) delete owner;
  return reference;
}

bool isKeyFrame(const CMSampleBuffer& sampleBuffer, std::size_t index) {
  const auto& attachments = sampleBuffer.sampleAttachments();
  if (index >= attachments.size()) return true;
  const auto notSync = attachments[index].find(CMSampleAttachmentKey::notSync);
  return notSync == attachments[index].end() || !isTrue(notSync->second);
}

AVAssetWriterError invalid(std::string detail) { return {AVAssetWriterError::Case::invalidSample, std::move(detail)}; }

}  // namespace

std::optional<AVAssetWriterTrackFormat> AVAssetWriterPassthrough::trackFormat(const CMFormatDescription& format) {
  if (format.mediaType() == kCMMediaType_Video) return videoTrackFormat(format);
  if (format.mediaType() == kCMMediaType_Audio) return audioTrackFormat(format);
  return std::nullopt;
}

std::optional<AVAssetWriterError> AVAssetWriterPassthrough::append(const CMSampleBuffer& sampleBuffer,
                                                                   AVAssetWriterMuxer& muxer, int track) {
  const auto& format = sampleBuffer.formatDescription();
  if (!format) return invalid("the sample has no format description");
  if (!format_) {
    auto trackFormat = AVAssetWriterPassthrough::trackFormat(*format);
    if (!trackFormat) {
      return AVAssetWriterError(AVAssetWriterError::Case::mediaNotSupported, "only H.264, HEVC and AAC are written");
    }
    format_ = format;
    timeBase_ = trackFormat->timeBase;
    muxer.setFormat(track, std::move(*trackFormat));
  } else if (!equalFormatDescriptions(format_, format)) {
    return AVAssetWriterError(AVAssetWriterError::Case::mediaNotSupported, "the track's format cannot change");
  }

  const auto& block = sampleBuffer.dataBuffer();
  if (!block || !sampleBuffer.dataIsReady()) return invalid("the sample has no data");
  const bool video = format->mediaType() == kCMMediaType_Video;
  const std::size_t count = sampleBuffer.numSamples();
  std::size_t offset = 0;
  for (std::size_t index = 0; index < count; ++index) {
    // A single sample without a size is the whole data.
    const std::size_t size =
        count == 1 && sampleBuffer.totalSampleSize() == 0 ? block->dataLength() : sampleBuffer.sampleSize(index);
    if (size == 0 || size > block->dataLength() - offset) return invalid("the sample sizes do not fit its data");
    const auto timing = sampleBuffer.sampleTimingInfo(index);
    const bool keyFrame = !video || isKeyFrame(sampleBuffer, index);
    const auto presentation = timing ? muxer.sessionTicks(timing->presentationTimeStamp, timeBase_) : std::nullopt;
    if (!presentation) return invalid("the sample has no presentation time");
    const auto decode = muxer.sessionTicks(timing->decodeTimeStamp, timeBase_);
    const std::size_t packetOffset = offset;
    offset += size;

    if (*presentation < 0) {
      waitsForKeyFrame_ = true;
      continue;
    }
    if (waitsForKeyFrame_ && !keyFrame) continue;
    waitsForKeyFrame_ = false;

    PacketHandle packet(av_packet_alloc());
    if (!packet || !(packet->buf = shareData(block))) {
      return AVAssetWriterError(AVAssetWriterError::Case::fileWriteFailed, "out of memory");
    }
    packet->data = packet->buf->data + packetOffset;
    packet->size = static_cast<int>(size);
    packet->pts = *presentation;
    packet->dts = decode.value_or(*presentation);
    packet->duration = ticks(timing->duration, timeBase_).value_or(0);
    if (keyFrame) packet->flags |= AV_PKT_FLAG_KEY;
    if (auto error = muxer.write(track, std::move(packet))) return error;
  }
  return std::nullopt;
}

}  // namespace platform
