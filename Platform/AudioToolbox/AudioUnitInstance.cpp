#include "Platform/AudioToolbox/AudioUnitInstance.hpp"

#include <cstring>

#include "Platform/AudioToolbox/AudioUnit.hpp"

namespace platform {

namespace {

constexpr std::uint32_t kMaximumElementCount = 4096;

template <class Value>
OSStatus readValue(const void* data, std::uint32_t size, Value& value) {
  if (data == nullptr || size != sizeof(Value)) return kAudioUnitErr_InvalidPropertyValue;
  std::memcpy(&value, data, sizeof(Value));
  return noErr;
}

template <class Value>
OSStatus writeValue(const Value& value, void* data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr || *size < sizeof(Value)) return kAudio_ParamError;
  std::memcpy(data, &value, sizeof(Value));
  *size = sizeof(Value);
  return noErr;
}

bool isValidScope(AudioUnitScope scope) { return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output; }

// Linear PCM of 16/32-bit integers or 32/64-bit floats, packed.
bool isSupportedPCM(const AudioStreamBasicDescription& format) {
  if (format.mFormatID != kAudioFormatLinearPCM || format.mChannelsPerFrame == 0 || !(format.mSampleRate > 0)) {
    return false;
  }
  if ((format.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0) return false;
  const bool isFloat = (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
  const auto bits = format.mBitsPerChannel;
  if (isFloat ? (bits != 32 && bits != 64) : (bits != 16 && bits != 32)) return false;
  const std::uint32_t channelsPerBuffer = format.isNonInterleaved() ? 1 : format.mChannelsPerFrame;
  return format.mBytesPerFrame == bits / 8 * channelsPerBuffer;
}

}  // namespace

AudioUnitInstance::AudioUnitInstance(std::uint32_t inputCount, std::uint32_t outputCount)
    : inputs_(inputCount), outputs_(outputCount) {}

OSStatus AudioUnitInstance::initialize() {
  if (const auto status = prepare(); status != noErr) return status;
  initialized_ = true;
  return noErr;
}

void AudioUnitInstance::uninitialize() { initialized_ = false; }

AudioUnitInstance::Bus* AudioUnitInstance::bus(AudioUnitScope scope, AudioUnitElement element) {
  auto& list = buses(scope);
  return element < list.size() ? &list[element] : nullptr;
}

const AudioUnitInstance::Bus* AudioUnitInstance::bus(AudioUnitScope scope, AudioUnitElement element) const {
  const auto& list = buses(scope);
  return element < list.size() ? &list[element] : nullptr;
}

OSStatus AudioUnitInstance::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        const void* data, std::uint32_t size) {
  if (id == kAudioUnitProperty_MaximumFramesPerSlice) {
    std::uint32_t frames = 0;
    if (auto status = readValue(data, size, frames); status != noErr) return status;
    if (frames == 0 || initialized_) return kAudioUnitErr_InvalidPropertyValue;
    maximumFramesPerSlice_ = frames;
    return noErr;
  }
  if (!isValidScope(scope)) return kAudioUnitErr_InvalidScope;
  switch (id) {
    case kAudioUnitProperty_ElementCount: {
      std::uint32_t count = 0;
      if (auto status = readValue(data, size, count); status != noErr) return status;
      if (count > kMaximumElementCount || initialized_) return kAudioUnitErr_InvalidPropertyValue;
      buses(scope).resize(count);
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
      AudioStreamBasicDescription format;
      if (auto status = readValue(data, size, format); status != noErr) return status;
      if (!isSupportedPCM(format)) return kAudioUnitErr_FormatNotSupported;
      auto* target = bus(scope, element);
      if (target == nullptr) return kAudioUnitErr_InvalidElement;
      if (initialized_) return kAudioUnitErr_CannotDoInCurrentContext;
      target->format = format;
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
      AURenderCallbackStruct callback;
      if (auto status = readValue(data, size, callback); status != noErr) return status;
      if (scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
      auto* target = bus(scope, element);
      if (target == nullptr) return kAudioUnitErr_InvalidElement;
      target->callback = callback;
      return noErr;
    }
    case kAudioUnitProperty_MakeConnection: {
      AudioUnitConnection connection;
      if (auto status = readValue(data, size, connection); status != noErr) return status;
      if (scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
      auto* target = bus(scope, connection.destInputNumber);
      if (target == nullptr || connection.sourceAudioUnit == this) return kAudioUnitErr_InvalidElement;
      target->connection = connection;
      return noErr;
    }
    default:
      return kAudioUnitErr_InvalidProperty;
  }
}

OSStatus AudioUnitInstance::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        void* data, std::uint32_t* size) const {
  if (id == kAudioUnitProperty_MaximumFramesPerSlice) return writeValue(maximumFramesPerSlice_, data, size);
  if (!isValidScope(scope)) return kAudioUnitErr_InvalidScope;
  switch (id) {
    case kAudioUnitProperty_ElementCount:
      return writeValue(static_cast<std::uint32_t>(buses(scope).size()), data, size);
    case kAudioUnitProperty_StreamFormat: {
      const auto* source = bus(scope, element);
      if (source == nullptr) return kAudioUnitErr_InvalidElement;
      if (!source->format) return kAudioUnitErr_FormatNotSupported;
      return writeValue(*source->format, data, size);
    }
    default:
      return kAudioUnitErr_InvalidProperty;
  }
}

OSStatus AudioUnitInstance::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                         AudioUnitParameterValue value) {
  if (!isValidScope(scope)) return kAudioUnitErr_InvalidScope;
  if (!defaultParameter(id, scope)) return kAudioUnitErr_InvalidParameter;
  auto* target = bus(scope, element);
  if (target == nullptr) return kAudioUnitErr_InvalidElement;
  target->parameters[id] = value;
  return noErr;
}

OSStatus AudioUnitInstance::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                         AudioUnitParameterValue* value) const {
  if (value == nullptr) return kAudio_ParamError;
  if (!isValidScope(scope)) return kAudioUnitErr_InvalidScope;
  if (!defaultParameter(id, scope)) return kAudioUnitErr_InvalidParameter;
  if (bus(scope, element) == nullptr) return kAudioUnitErr_InvalidElement;
  *value = parameter(id, scope, element);
  return noErr;
}

AudioUnitParameterValue AudioUnitInstance::parameter(AudioUnitParameterID id, AudioUnitScope scope,
                                                     std::uint32_t element) const {
  const auto* source = bus(scope, element);
  if (source != nullptr) {
    if (auto it = source->parameters.find(id); it != source->parameters.end()) return it->second;
  }
  return defaultParameter(id, scope).value_or(0);
}

bool AudioUnitInstance::hasSource(std::uint32_t element) const noexcept {
  const auto* source = bus(kAudioUnitScope_Input, element);
  return source != nullptr && (source->callback.inputProc != nullptr || source->connection.sourceAudioUnit != nullptr);
}

OSStatus AudioUnitInstance::pullInput(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                      std::uint32_t element, std::uint32_t frames, AudioBufferList* data) {
  const auto* source = bus(kAudioUnitScope_Input, element);
  if (source == nullptr) return kAudioUnitErr_InvalidElement;
  if (source->callback.inputProc != nullptr) {
    return source->callback.inputProc(source->callback.inputProcRefCon, flags, timeStamp, element, frames, data);
  }
  if (source->connection.sourceAudioUnit != nullptr) {
    return AudioUnitRender(source->connection.sourceAudioUnit, flags, timeStamp,
                           source->connection.sourceOutputNumber, frames, data);
  }
  return kAudioUnitErr_NoConnection;
}

}  // namespace platform
