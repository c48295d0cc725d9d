#pragma once

#include <cstdint>
#include <string_view>

#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

inline constexpr OSStatus kVTPropertyNotSupportedErr = -12900;
inline constexpr OSStatus kVTPropertyReadOnlyErr = -12901;
inline constexpr OSStatus kVTParameterErr = -12902;
inline constexpr OSStatus kVTInvalidSessionErr = -12903;
inline constexpr OSStatus kVTAllocationFailedErr = -12904;
inline constexpr OSStatus kVTPixelTransferNotSupportedErr = -12905;
inline constexpr OSStatus kVTCouldNotFindVideoDecoderErr = -12906;
inline constexpr OSStatus kVTCouldNotFindVideoEncoderErr = -12908;
inline constexpr OSStatus kVTVideoDecoderBadDataErr = -12909;
inline constexpr OSStatus kVTVideoDecoderUnsupportedDataFormatErr = -12910;
inline constexpr OSStatus kVTVideoDecoderMalfunctionErr = -12911;
inline constexpr OSStatus kVTVideoEncoderMalfunctionErr = -12912;

// Compression session properties.
inline constexpr std::string_view kVTCompressionPropertyKey_ProfileLevel = "ProfileLevel";
inline constexpr std::string_view kVTCompressionPropertyKey_H264EntropyMode = "H264EntropyMode";
inline constexpr std::string_view kVTCompressionPropertyKey_ExpectedFrameRate = "ExpectedFrameRate";
inline constexpr std::string_view kVTCompressionPropertyKey_AllowFrameReordering = "AllowFrameReordering";
inline constexpr std::string_view kVTCompressionPropertyKey_MaxKeyFrameInterval = "MaxKeyFrameInterval";
inline constexpr std::string_view kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration = "MaxKeyFrameIntervalDuration";
inline constexpr std::string_view kVTCompressionPropertyKey_PixelTransferProperties = "PixelTransferProperties";
inline constexpr std::string_view kVTCompressionPropertyKey_AverageBitRate = "AverageBitRate";
inline constexpr std::string_view kVTCompressionPropertyKey_DataRateLimits = "DataRateLimits";
inline constexpr std::string_view kVTCompressionPropertyKey_RealTime = "RealTime";
inline constexpr std::string_view kVTCompressionPropertyKey_ConstantBitRate = "ConstantBitRate";
inline constexpr std::string_view kVTCompressionPropertyKey_VariableBitRate = "VariableBitRate";

// Accepted and ignored: there is no hardware encoder to choose here.
inline constexpr std::string_view kVTVideoEncoderSpecification_EnableLowLatencyRateControl =
    "EnableLowLatencyRateControl";
inline constexpr std::string_view kVTVideoEncoderSpecification_EnableHardwareAcceleratedVideoEncoder =
    "EnableHardwareAcceleratedVideoEncoder";

// Profile levels: "<codec>_<profile>_<level>", the level "AutoLevel" leaving it to the encoder.
inline constexpr std::string_view kVTProfileLevel_H264_Baseline_3_0 = "H264_Baseline_3_0";
inline constexpr std::string_view kVTProfileLevel_H264_Baseline_3_1 = "H264_Baseline_3_1";
inline constexpr std::string_view kVTProfileLevel_H264_Baseline_4_0 = "H264_Baseline_4_0";
inline constexpr std::string_view kVTProfileLevel_H264_Baseline_4_1 = "H264_Baseline_4_1";
inline constexpr std::string_view kVTProfileLevel_H264_Baseline_AutoLevel = "H264_Baseline_AutoLevel";
inline constexpr std::string_view kVTProfileLevel_H264_Main_3_1 = "H264_Main_3_1";
inline constexpr std::string_view kVTProfileLevel_H264_Main_4_1 = "H264_Main_4_1";
inline constexpr std::string_view kVTProfileLevel_H264_Main_AutoLevel = "H264_Main_AutoLevel";
inline constexpr std::string_view kVTProfileLevel_H264_High_3_1 = "H264_High_3_1";
inline constexpr std::string_view kVTProfileLevel_H264_High_4_1 = "H264_High_4_1";
inline constexpr std::string_view kVTProfileLevel_H264_High_AutoLevel = "H264_High_AutoLevel";
inline constexpr std::string_view kVTProfileLevel_HEVC_Main_AutoLevel = "HEVC_Main_AutoLevel";
inline constexpr std::string_view kVTProfileLevel_HEVC_Main10_AutoLevel = "HEVC_Main10_AutoLevel";

inline constexpr std::string_view kVTH264EntropyMode_CAVLC = "CAVLC";
inline constexpr std::string_view kVTH264EntropyMode_CABAC = "CABAC";

// Pixel transfer: how a source of another size fills the encoded picture.
inline constexpr std::string_view kVTPixelTransferPropertyKey_ScalingMode = "ScalingMode";
inline constexpr std::string_view kVTScalingMode_Normal = "Normal";
inline constexpr std::string_view kVTScalingMode_CropSourceToCleanAperture = "CropSourceToCleanAperture";
inline constexpr std::string_view kVTScalingMode_Letterbox = "Letterbox";
inline constexpr std::string_view kVTScalingMode_Trim = "Trim";

using VTEncodeInfoFlags = std::uint32_t;
inline constexpr VTEncodeInfoFlags kVTEncodeInfo_Asynchronous = 1u << 0;
inline constexpr VTEncodeInfoFlags kVTEncodeInfo_FrameDropped = 1u << 1;

using VTDecodeFrameFlags = std::uint32_t;
inline constexpr VTDecodeFrameFlags kVTDecodeFrame_EnableAsynchronousDecompression = 1u << 0;
inline constexpr VTDecodeFrameFlags kVTDecodeFrame_DoNotOutputFrame = 1u << 1;
inline constexpr VTDecodeFrameFlags kVTDecodeFrame_1xRealTimePlayback = 1u << 2;
inline constexpr VTDecodeFrameFlags kVTDecodeFrame_EnableTemporalProcessing = 1u << 3;

using VTDecodeInfoFlags = std::uint32_t;
inline constexpr VTDecodeInfoFlags kVTDecodeInfo_Asynchronous = 1u << 0;
inline constexpr VTDecodeInfoFlags kVTDecodeInfo_FrameDropped = 1u << 1;

}  // namespace platform
