#include "Fluvio/Sources/Mixer/AudioNode.hpp"

namespace fluvio {

namespace {

const char* caseName(AudioNode::Error::Case errorCase) {
  using Case = AudioNode::Error::Case;
  switch (errorCase) {
    case Case::unableToCreateAudioUnit: return "unableToCreateAudioUnit";
    case Case::unableToInitializeAudioUnit: return "unableToInitializeAudioUnit";
    case Case::unableToUpdateBus: return "unableToUpdateBus";
    case Case::unableToRetrieveValue: return "unableToRetrieveValue";
    case Case::unableToConnectToNode: return "unableToConnectToNode";
    case Case::unableToFindAudioComponent: return "unableToFindAudioComponent";
  }
  return "unknown";
}

}  // namespace

AudioNode::Error::Error(Case errorCase, platform::OSStatus status)
    : case_(errorCase), status_(status), message_(std::string(caseName(errorCase)) + "(" + std::to_string(status) + ")") {}

const platform::AudioComponentDescription MixerNode::mixerComponentDescription{
    platform::kAudioUnitType_Mixer, platform::kAudioUnitSubType_MultiChannelMixer,
    platform::kAudioUnitManufacturer_Apple, 0, 0};

AudioNode::AudioNode(const platform::AudioComponentDescription& description) {
  const auto component = platform::AudioComponentFindNext(nullptr, &description);
  if (component == nullptr) throw Error(Error::Case::unableToFindAudioComponent);
  const auto status = platform::AudioComponentInstanceNew(component, &audioUnit_);
  if (status != platform::noErr || audioUnit_ == nullptr) throw Error(Error::Case::unableToCreateAudioUnit, status);
}

AudioNode::~AudioNode() {
  platform::AudioOutputUnitStop(audioUnit_);
  platform::AudioUnitUninitialize(audioUnit_);
  platform::AudioComponentInstanceDispose(audioUnit_);
}

void AudioNode::connect(const AudioNode& node, std::uint32_t sourceBus, std::uint32_t destBus) const {
  platform::AudioUnitConnection connection{audioUnit_, sourceBus, destBus};
  const auto status = platform::AudioUnitSetProperty(node.audioUnit_, platform::kAudioUnitProperty_MakeConnection,
                                                     platform::kAudioUnitScope_Input, 0, &connection,
                                                     sizeof connection);
  if (status != platform::noErr) throw Error(Error::Case::unableToConnectToNode, status);
}

void AudioNode::update(std::uint32_t busCount, BusScope scope) const {
  const auto status = platform::AudioUnitSetProperty(audioUnit_, platform::kAudioUnitProperty_ElementCount,
                                                     static_cast<platform::AudioUnitScope>(scope), 0, &busCount,
                                                     sizeof busCount);
  if (status != platform::noErr) throw Error(Error::Case::unableToUpdateBus, status);
}

std::uint32_t AudioNode::busCount(BusScope scope) const {
  std::uint32_t count = 0;
  std::uint32_t size = sizeof count;
  const auto status = platform::AudioUnitGetProperty(audioUnit_, platform::kAudioUnitProperty_ElementCount,
                                                     static_cast<platform::AudioUnitScope>(scope), 0, &count, &size);
  if (status != platform::noErr) throw Error(Error::Case::unableToUpdateBus, status);
  return count;
}

}  // namespace fluvio
