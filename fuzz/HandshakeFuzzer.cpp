// Feeds peer-chosen bytes to the handshake as a server's S0, S1 and S2 in
// pieces the first byte chooses: C2 comes once, at the 1537th byte, the
// handshake ends at the 3073rd, and every later byte is handed on.
#include <cstddef>
#include <cstdint>
#include <span>

#include "RTMPFluvio/Sources/RTMP/RTMPHandshake.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtmpfluvio;
  if (size == 0) return 0;
  const std::size_t piece = data[0] * 13u + 1u;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  RTMPHandshake handshake;
  std::size_t fed = 0;
  std::size_t handedOn = 0;
  int c2Count = 0;
  for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
    const auto part = bytes.subspan(offset, std::min(piece, bytes.size() - offset));
    const auto progress = handshake.receive(part);
    fed += part.size();
    if (progress.c2) {
      ++c2Count;
      if (progress.c2->size() != RTMPHandshake::kC2Size || fed < RTMPHandshake::kC0C1Size) __builtin_trap();
      if (!std::equal(progress.c2->begin() + 8, progress.c2->end(), bytes.begin() + 9)) __builtin_trap();
    }
    handedOn += progress.rest.size();
  }
  const std::size_t whole = RTMPHandshake::kC0C1Size + RTMPHandshake::kC2Size;
  if (c2Count != (fed >= RTMPHandshake::kC0C1Size ? 1 : 0)) __builtin_trap();
  if (handshake.isDone() != (fed >= whole)) __builtin_trap();
  if (handedOn != (fed > whole ? fed - whole : 0)) __builtin_trap();
  return 0;
}
