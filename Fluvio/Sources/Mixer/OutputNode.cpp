#include "Fluvio/Sources/Mixer/OutputNode.hpp"

namespace fluvio {

namespace {

std::shared_ptr<platform::AVAudioPCMBuffer> allocate(std::shared_ptr<platform::AVAudioFormat> format) {
  auto buffer = platform::AVAudioPCMBuffer::make(std::move(format), OutputNode::bufferFrames);
  if (!buffer) throw OutputNode::Error(OutputNode::Error::Case::unableToAllocateBuffer);
  return buffer;
}

}  // namespace

const platform::AudioComponentDescription OutputNode::outputComponentDescription{
    platform::kAudioUnitType_Output, platform::kAudioUnitSubType_GenericOutput, platform::kAudioUnitManufacturer_Apple,
    0, 0};

OutputNode::OutputNode(std::shared_ptr<platform::AVAudioFormat> format)
    : AudioNode(outputComponentDescription), buffer_(allocate(std::move(format))) {}

const std::shared_ptr<platform::AVAudioPCMBuffer>& OutputNode::render(platform::AVAudioFrameCount frameCount,
                                                                      std::int64_t sampleTime) {
  if (frameCount > buffer_->frameCapacity()) throw Error(Error::Case::unableToRenderFrames);
  timeStamp_.mSampleTime = static_cast<double>(sampleTime);
  buffer_->setFrameLength(frameCount);
  const auto status = platform::AudioUnitRender(audioUnit(), nullptr, &timeStamp_, 0, frameCount,
                                                buffer_->mutableAudioBufferList());
  if (status != platform::noErr) throw Error(Error::Case::unableToRenderFrames);
  return buffer_;
}

}  // namespace fluvio
