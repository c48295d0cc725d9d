#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"

#include <algorithm>

namespace rtmpfluvio {

std::string peerText(std::string_view text, std::size_t limit) {
  constexpr char kHexDigits[] = "0123456789abcdef";
  const std::string_view kept = text.substr(0, std::min(limit, text.size()));
  std::string safe;
  safe.reserve(kept.size());
  for (const char character : kept) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      safe += character;
    } else {
      safe += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    }
  }
  if (kept.size() < text.size()) safe += "... (" + std::to_string(text.size() - kept.size()) + " more bytes)";
  return safe;
}

}  // namespace rtmpfluvio
