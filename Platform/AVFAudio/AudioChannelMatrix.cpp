#include "Platform/AVFAudio/AudioChannelMatrix.hpp"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace platform {

namespace {

AudioChannelMatrix silent(int inputChannels, int outputChannels) {
  return {inputChannels, outputChannels,
          std::vector<double>(static_cast<std::size_t>(inputChannels) * static_cast<std::size_t>(outputChannels))};
}

bool buildStandardDownmix(AudioChannelMatrix& matrix) {
  AVChannelLayout input{};
  AVChannelLayout output{};
  av_channel_layout_default(&input, matrix.inputChannels);
  av_channel_layout_default(&output, matrix.outputChannels);
  // The library may touch a full maximum-size square whatever the layouts.
  constexpr int stride = maximumConvertedChannels;
  std::vector<double> square(stride * stride);
  const bool standard = input.order == AV_CHANNEL_ORDER_NATIVE && output.order == AV_CHANNEL_ORDER_NATIVE &&
                        swr_build_matrix2(&input, &output, M_SQRT1_2, M_SQRT1_2, 0, 1.0, 1.0, square.data(), stride,
                                          AV_MATRIX_ENCODING_NONE, nullptr) == 0;
  av_channel_layout_uninit(&input);
  av_channel_layout_uninit(&output);
  if (!standard) return false;
  for (int row = 0; row < matrix.outputChannels; ++row) {
    std::copy_n(square.begin() + row * stride, matrix.inputChannels,
                matrix.weights.begin() + row * matrix.inputChannels);
  }
  return true;
}

}  // namespace

AudioChannelMatrix AudioChannelMatrix::mapped(int inputChannels, const std::vector<std::int64_t>& map) {
  auto matrix = silent(inputChannels, static_cast<int>(map.size()));
  for (std::size_t output = 0; output < map.size(); ++output) {
    if (map[output] >= 0 && map[output] < inputChannels) {
      matrix.weights[output * static_cast<std::size_t>(inputChannels) + static_cast<std::size_t>(map[output])] = 1;
    }
  }
  return matrix;
}

AudioChannelMatrix AudioChannelMatrix::downmixed(int inputChannels, int outputChannels) {
  auto matrix = silent(inputChannels, outputChannels);
  if (outputChannels <= 0 || buildStandardDownmix(matrix)) return matrix;
  const auto stride = static_cast<std::size_t>(inputChannels);
  for (int output = 0; output < outputChannels; ++output) {
    const int contributors = (inputChannels - output + outputChannels - 1) / outputChannels;
    for (int input = output; input < inputChannels; input += outputChannels) {
      matrix.weights[static_cast<std::size_t>(output) * stride + static_cast<std::size_t>(input)] = 1.0 / contributors;
    }
  }
  return matrix;
}

AudioChannelMatrix AudioChannelMatrix::identity(int inputChannels, int outputChannels) {
  auto matrix = silent(inputChannels, outputChannels);
  for (int channel = 0; channel < std::min(inputChannels, outputChannels); ++channel) {
    matrix.weights[static_cast<std::size_t>(channel) * static_cast<std::size_t>(inputChannels) +
                   static_cast<std::size_t>(channel)] = 1;
  }
  return matrix;
}

}  // namespace platform
