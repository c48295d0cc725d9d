#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Fluvio/Sources/Util/DataConvertible.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "RTMPFluvio/Sources/Codec/DecoderConfigurationRecord.hpp"

namespace rtmpfluvio {

// The H.264 decoder configuration record ("avcC") of a sequence header.
struct AVCDecoderConfigurationRecord {
  using Bytes = std::vector<std::uint8_t>;

  std::uint8_t configurationVersion = 1;
  std::uint8_t avcProfileIndication = 0;
  std::uint8_t profileCompatibility = 0;
  std::uint8_t avcLevelIndication = 0;
  // Six reserved bits and the NAL unit length size minus one.
  std::uint8_t lengthSizeMinusOneWithReserved = 0;
  // Three reserved bits and the sequence parameter set count.
  std::uint8_t numOfSequenceParameterSetsWithReserved = 0;
  std::vector<Bytes> sequenceParameterSets;
  std::vector<Bytes> pictureParameterSets;
  // The extension of the high profiles (100, 110, 122, 144); a chroma byte
  // of 0 means the record has none.
  std::uint8_t chromaFormatWithReserve = 0;
  std::uint8_t bitDepthLumaMinus8WithReserve = 0;
  std::uint8_t bitDepthChromaMinus8WithReserve = 0;
  std::vector<Bytes> sequenceParameterSetExt;

  // The record's bytes, with the reserved bits set and the counts taken from
  // the lists. Empty when a list or a set is too long for its count.
  Bytes data() const;
  // Reads the record, appending to the lists held. A record cut short is
  // logged; what was read before the cut stays.
  void setData(std::span<const std::uint8_t> bytes);

  // From the first sequence and picture parameter sets, with the record's
  // NAL unit length size; null without both or when the platform refuses them.
  std::shared_ptr<const platform::CMFormatDescription> makeFormatDescription() const;

  std::string debugDescription() const;

  bool operator==(const AVCDecoderConfigurationRecord&) const = default;
};

static_assert(fluvio::DataConvertible<AVCDecoderConfigurationRecord>);
static_assert(DecoderConfigurationRecord<AVCDecoderConfigurationRecord>);

}  // namespace rtmpfluvio
