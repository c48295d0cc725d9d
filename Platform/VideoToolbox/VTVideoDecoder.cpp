#include "Platform/VideoToolbox/VTVideoDecoder.hpp"

#include <cstring>

namespace platform {
namespace {

// Samples the decoder may hold before the oldest is given up as lost.
constexpr std::size_t maximumPendingSamples = 32;

const CMFormatDescriptionBytes* configurationAtom(const CMFormatDescription& formatDescription, const char* name) {
  const auto* atoms = formatDescription.extension(kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms);
  const auto* map = atoms ? std::get_if<CMFormatDescriptionAtoms>(atoms) : nullptr;
  if (!map) return nullptr;
  const auto found = map->find(name);
  return found == map->end() ? nullptr : &found->second;
}

}  // namespace

OSStatus VTVideoDecoder::open(const CMFormatDescription& formatDescription, const CVPixelBufferAttributes& output) {
  if (formatDescription.mediaType() != kCMMediaType_Video) return kVTVideoDecoderUnsupportedDataFormatErr;
  const bool hevc = formatDescription.mediaSubType() == kCMVideoCodecType_HEVC;
  if (!hevc && formatDescription.mediaSubType() != kCMVideoCodecType_H264) return kVTVideoDecoderUnsupportedDataFormatErr;
  const auto* atom = configurationAtom(formatDescription, hevc ? "hvcC" : "avcC");
  if (!atom || atom->empty()) return kVTVideoDecoderUnsupportedDataFormatErr;
  if (output.pixelFormatType && !avPixelFormat(*output.pixelFormatType)) return kVTPixelTransferNotSupportedErr;
  const LibavCodec* library = libavcodec();
  if (!library) return kVTCouldNotFindVideoDecoderErr;
  const AVCodec* codec = library->avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
  if (!codec) return kVTCouldNotFindVideoDecoderErr;

  context_.reset(library->avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(library->av_packet_alloc());
  if (!context_ || !frame_ || !packet_) return kVTAllocationFailedErr;
  // The configuration atom as extradata: the decoder then reads length-prefixed samples as they are.
  context_->extradata = static_cast<std::uint8_t*>(av_mallocz(atom->size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!context_->extradata) return kVTAllocationFailedErr;
  std::memcpy(context_->extradata, atom->data(), atom->size());
  context_->extradata_size = static_cast<int>(atom->size());
  // Frame threads would hold pictures back; slices keep one picture out per sample.
  context_->thread_type = FF_THREAD_SLICE;
  if (library->avcodec_open2(context_.get(), codec, nullptr) < 0) {
    context_.reset();
    return kVTVideoDecoderUnsupportedDataFormatErr;
  }
  output_ = output;
  if (!output_.pixelFormatType) output_.pixelFormatType = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
  return noErr;
}

OSStatus VTVideoDecoder::decode(const CMSampleBuffer& sampleBuffer, OutputHandler outputHandler) {
  const auto& data = sampleBuffer.dataBuffer();
  if (!context_ || !data || data->dataLength() == 0 || data->dataLength() > INT32_MAX / 2) {
    outputHandler(kVTVideoDecoderBadDataErr, kVTDecodeInfo_FrameDropped, nullptr, CMTime::invalid, CMTime::invalid);
    return kVTVideoDecoderBadDataErr;
  }
  if (libavcodec()->av_new_packet(packet_.get(), static_cast<int>(data->dataLength())) < 0) {
    outputHandler(kVTAllocationFailedErr, kVTDecodeInfo_FrameDropped, nullptr, CMTime::invalid, CMTime::invalid);
    return kVTAllocationFailedErr;
  }
  std::memcpy(packet_->data, data->data().data(), data->dataLength());
  const std::int64_t timeStamp = nextTimeStamp_++;
  packet_->pts = timeStamp;
  pending_[timeStamp] = {sampleBuffer.presentationTimeStamp(), sampleBuffer.duration(), std::move(outputHandler)};
  const int sent = libavcodec()->avcodec_send_packet(context_.get(), packet_.get());
  libavcodec()->av_packet_unref(packet_.get());
  if (sent < 0) {
    auto failed = pending_.extract(timeStamp);
    failed.mapped().outputHandler(kVTVideoDecoderBadDataErr, kVTDecodeInfo_FrameDropped, nullptr,
                                  failed.mapped().presentationTimeStamp, failed.mapped().duration);
    return kVTVideoDecoderBadDataErr;
  }
  receiveFrames();
  dropOldestBeyond(maximumPendingSamples);
  return noErr;
}

void VTVideoDecoder::flush() {
  if (!context_) return;
  if (libavcodec()->avcodec_send_packet(context_.get(), nullptr) == 0) receiveFrames();
  libavcodec()->avcodec_flush_buffers(context_.get());
  dropOldestBeyond(0);
}

void VTVideoDecoder::receiveFrames() {
  while (libavcodec()->avcodec_receive_frame(context_.get(), frame_.get()) == 0) {
    emit(*frame_);
    av_frame_unref(frame_.get());
  }
}

void VTVideoDecoder::emit(AVFrame& frame) {
  // The packet's own stamp, which names its sample; the decoder's best guess may not.
  auto entry = pending_.extract(frame.pts);
  if (entry.empty()) return;
  PendingSample& sample = entry.mapped();
  auto imageBuffer = convert(frame);
  if (!imageBuffer) {
    sample.outputHandler(kVTVideoDecoderMalfunctionErr, kVTDecodeInfo_FrameDropped, nullptr,
                         sample.presentationTimeStamp, sample.duration);
    return;
  }
  sample.outputHandler(noErr, kVTDecodeInfo_Asynchronous, std::move(imageBuffer), sample.presentationTimeStamp,
                       sample.duration);
}

std::shared_ptr<CVPixelBuffer> VTVideoDecoder::convert(AVFrame& frame) {
  CVPixelBufferAttributes attributes = output_;
  if (!attributes.width) attributes.width = frame.width;
  if (!attributes.height) attributes.height = frame.height;
  if (!pool_ || !(pool_->pixelBufferAttributes() == attributes)) {
    pool_ = CVPixelBufferPool::make(attributes).value;
    if (!pool_) return nullptr;
  }
  const auto buffer = pool_->createPixelBuffer();
  if (!buffer) return nullptr;
  const auto destination = VTImagePlanes::of(*buffer.value);
  if (!destination) return nullptr;
  buffer.value->lockBaseAddress(0);
  const bool drawn = transfer_.transfer(VTImagePlanes::of(frame), *destination, VTScalingMode::cropSourceToCleanAperture);
  buffer.value->unlockBaseAddress(0);
  return drawn ? buffer.value : nullptr;
}

void VTVideoDecoder::dropOldestBeyond(std::size_t count) {
  while (pending_.size() > count) {
    auto lost = pending_.extract(pending_.begin());
    lost.mapped().outputHandler(noErr, kVTDecodeInfo_FrameDropped, nullptr, lost.mapped().presentationTimeStamp,
                                lost.mapped().duration);
  }
}

}  // namespace platform
