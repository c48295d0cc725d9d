#include "Fluvio/Sources/Codec/VTSessionOption.hpp"

#include <nlohmann/json.hpp>

#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace fluvio {

// Taken from the platform constant on first use.
#define FLUVIO_SESSION_OPTION_KEY(name, constant)                        \
  const VTSessionOptionKey& VTSessionOptionKey::name() {                 \
    static const VTSessionOptionKey key{std::string(platform::constant)}; \
    return key;                                                          \
  }

FLUVIO_SESSION_OPTION_KEY(profileLevel, kVTCompressionPropertyKey_ProfileLevel)
FLUVIO_SESSION_OPTION_KEY(h264EntropyMode, kVTCompressionPropertyKey_H264EntropyMode)
FLUVIO_SESSION_OPTION_KEY(expectedFrameRate, kVTCompressionPropertyKey_ExpectedFrameRate)
FLUVIO_SESSION_OPTION_KEY(allowFrameReordering, kVTCompressionPropertyKey_AllowFrameReordering)
FLUVIO_SESSION_OPTION_KEY(maxKeyFrameIntervalDuration, kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration)
FLUVIO_SESSION_OPTION_KEY(pixelTransferProperties, kVTCompressionPropertyKey_PixelTransferProperties)
FLUVIO_SESSION_OPTION_KEY(averageBitRate, kVTCompressionPropertyKey_AverageBitRate)
FLUVIO_SESSION_OPTION_KEY(dataRateLimits, kVTCompressionPropertyKey_DataRateLimits)
FLUVIO_SESSION_OPTION_KEY(realTime, kVTCompressionPropertyKey_RealTime)
FLUVIO_SESSION_OPTION_KEY(constantBitRate, kVTCompressionPropertyKey_ConstantBitRate)
FLUVIO_SESSION_OPTION_KEY(variableBitRate, kVTCompressionPropertyKey_VariableBitRate)

#undef FLUVIO_SESSION_OPTION_KEY

void to_json(nlohmann::json& json, const VTSessionOptionKey& key) { json = key.rawValue; }

void from_json(const nlohmann::json& json, VTSessionOptionKey& key) { key.rawValue = json.get<std::string>(); }

}  // namespace fluvio
