#include "Platform/Foundation/UUID.hpp"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

void fillRandom(UUID::Bytes& bytes) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<std::size_t>(got);
  }
}

}  // namespace

UUID::UUID() : bytes_{} {
  fillRandom(bytes_);
  bytes_[6] = static_cast<std::uint8_t>((bytes_[6] & 0x0F) | 0x40);
  bytes_[8] = static_cast<std::uint8_t>((bytes_[8] & 0x3F) | 0x80);
}

std::string UUID::uuidString() const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (std::size_t index = 0; index < bytes_.size(); ++index) {
    if (index == 4 || index == 6 || index == 8 || index == 10) text.push_back('-');
    text.push_back(digits[bytes_[index] >> 4]);
    text.push_back(digits[bytes_[index] & 0x0F]);
  }
  return text;
}

}  // namespace platform
