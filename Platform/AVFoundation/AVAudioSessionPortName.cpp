#include "Platform/AVFoundation/AVAudioSessionPortName.hpp"

#include <array>
#include <utility>

namespace platform {

namespace {

constexpr std::array<std::pair<AVAudioSessionPort, std::string_view>, 11> kNames{{
    {AVAudioSessionPort::builtInReceiver, "Receiver"},
    {AVAudioSessionPort::builtInSpeaker, "Speaker"},
    {AVAudioSessionPort::headphones, "Headphones"},
    {AVAudioSessionPort::lineOut, "LineOut"},
    {AVAudioSessionPort::bluetoothA2DP, "BluetoothA2DPOutput"},
    {AVAudioSessionPort::bluetoothHFP, "BluetoothHFP"},
    {AVAudioSessionPort::bluetoothLE, "BluetoothLE"},
    {AVAudioSessionPort::usbAudio, "USBAudio"},
    {AVAudioSessionPort::HDMI, "HDMIOutput"},
    {AVAudioSessionPort::airPlay, "AirPlay"},
    {AVAudioSessionPort::carAudio, "CarAudio"},
}};

}  // namespace

std::string_view portTypeName(AVAudioSessionPort port) noexcept {
  for (const auto& [entry, name] : kNames) {
    if (entry == port) return name;
  }
  return {};
}

std::optional<AVAudioSessionPort> portTypeFromName(std::string_view name) noexcept {
  for (const auto& [entry, entryName] : kNames) {
    if (entryName == name) return entry;
  }
  return std::nullopt;
}

std::string joinPortTypeNames(const std::vector<AVAudioSessionPort>& ports) {
  std::string names;
  for (const auto port : ports) {
    if (!names.empty()) names += ',';
    names += portTypeName(port);
  }
  return names;
}

std::vector<AVAudioSessionPort> splitPortTypeNames(std::string_view names) {
  std::vector<AVAudioSessionPort> ports;
  while (!names.empty()) {
    const auto comma = names.find(',');
    if (auto port = portTypeFromName(names.substr(0, comma))) ports.push_back(*port);
    if (comma == std::string_view::npos) break;
    names.remove_prefix(comma + 1);
  }
  return ports;
}

}  // namespace platform
