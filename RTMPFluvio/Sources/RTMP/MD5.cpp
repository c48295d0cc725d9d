#include "RTMPFluvio/Sources/RTMP/MD5.hpp"

#include <algorithm>
#include <bit>

namespace rtmpfluvio {

namespace {

constexpr std::size_t kBlockSize = 64;

// floor(abs(sin(i + 1)) * 2^32)
constexpr std::array<std::uint32_t, 64> kSines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr std::array<int, 16> kRotations = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

struct State {
  std::uint32_t a = 0x67452301;
  std::uint32_t b = 0xefcdab89;
  std::uint32_t c = 0x98badcfe;
  std::uint32_t d = 0x10325476;

  void process(const std::uint8_t* block) {
    std::array<std::uint32_t, 16> words{};
    for (std::size_t index = 0; index < words.size(); ++index) {
      const std::uint8_t* bytes = block + index * 4;
      words[index] = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                     static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    }
    std::uint32_t aa = a, bb = b, cc = c, dd = d;
    for (std::size_t step = 0; step < 64; ++step) {
      const std::size_t round = step / 16;
      std::uint32_t mixed = 0;
      std::size_t word = 0;
      switch (round) {
        case 0:
          mixed = (bb & cc) | (~bb & dd);
          word = step;
          break;
        case 1:
          mixed = (bb & dd) | (cc & ~dd);
          word = (5 * step + 1) % 16;
          break;
        case 2:
          mixed = bb ^ cc ^ dd;
          word = (3 * step + 5) % 16;
          break;
        default:
          mixed = cc ^ (bb | ~dd);
          word = (7 * step) % 16;
          break;
      }
      const std::uint32_t rotated =
          std::rotl(aa + mixed + kSines[step] + words[word], kRotations[round * 4 + step % 4]);
      aa = dd;
      dd = cc;
      cc = bb;
      bb += rotated;
    }
    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
};

void putLittleEndian(std::uint8_t* out, std::uint64_t value, std::size_t count) {
  for (std::size_t index = 0; index < count; ++index, value >>= 8) out[index] = static_cast<std::uint8_t>(value);
}

}  // namespace

MD5::Digest MD5::calculate(std::span<const std::uint8_t> message) {
  State state;
  const std::size_t wholeBlocks = message.size() / kBlockSize;
  for (std::size_t block = 0; block < wholeBlocks; ++block) state.process(message.data() + block * kBlockSize);

  // The tail, 0x80, zeros up to 56 mod 64, then the bit length: one or two blocks.
  std::array<std::uint8_t, 2 * kBlockSize> tail{};
  const std::size_t remainder = message.size() % kBlockSize;
  std::copy_n(message.data() + wholeBlocks * kBlockSize, remainder, tail.begin());
  tail[remainder] = 0x80;
  const std::size_t tailSize = remainder < 56 ? kBlockSize : 2 * kBlockSize;
  putLittleEndian(tail.data() + tailSize - 8, static_cast<std::uint64_t>(message.size()) * 8, 8);
  for (std::size_t offset = 0; offset < tailSize; offset += kBlockSize) state.process(tail.data() + offset);

  Digest digest{};
  putLittleEndian(digest.data(), state.a, 4);
  putLittleEndian(digest.data() + 4, state.b, 4);
  putLittleEndian(digest.data() + 8, state.c, 4);
  putLittleEndian(digest.data() + 12, state.d, 4);
  return digest;
}

}  // namespace rtmpfluvio
