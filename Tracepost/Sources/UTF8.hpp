#pragma once

#include <string_view>

namespace tracepost {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValidUTF8(std::string_view text) noexcept;

}  // namespace tracepost
