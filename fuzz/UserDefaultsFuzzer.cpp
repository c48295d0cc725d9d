// Reads arbitrary bytes as a defaults suite's file, which any program of the
// user may have written.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Platform/Foundation/UserDefaults.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto values = platform::UserDefaults::decode(text)) {
    (void)values->dump(2, ' ', false, platform::UserDefaults::Values::error_handler_t::replace);
  }
  return 0;
}
