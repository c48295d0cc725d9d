#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// The library caps the channels it converts.
inline constexpr int maximumConvertedChannels = 64;

// Weight of every input channel in every output channel, one row per output
// channel: weights[output * inputChannels + input].
struct AudioChannelMatrix {
  int inputChannels = 0;
  int outputChannels = 0;
  std::vector<double> weights;

  // Output i takes input map[i]; entries that are negative or name a missing
  // input leave that output silent.
  static AudioChannelMatrix mapped(int inputChannels, const std::vector<std::int64_t>& map);
  // All inputs mixed into fewer outputs with the usual loudspeaker weights
  // when both counts have a standard layout, else input i into output
  // i mod outputs with the rows normalised.
  static AudioChannelMatrix downmixed(int inputChannels, int outputChannels);
  // Output i takes input i; outputs beyond the inputs are silent.
  static AudioChannelMatrix identity(int inputChannels, int outputChannels);
};

}  // namespace platform
