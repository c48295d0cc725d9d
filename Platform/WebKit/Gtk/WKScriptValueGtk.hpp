#pragma once

#include <jsc/jsc.h>

#include <cstddef>
#include <optional>

#include "Platform/WebKit/WKScriptMessage.hpp"

namespace platform {

// Limits on what a page may post: a message beyond them is dropped whole.
inline constexpr std::size_t kScriptMessageMaxFields = 64;
inline constexpr std::size_t kScriptMessageMaxStringBytes = 64 * 1024;

// A posted value as a message body: an object (not an array) becomes a
// dictionary of its first fields, one level deep; anything else a single value.
std::optional<WKScriptBody> scriptBody(JSCValue* value);

}  // namespace platform
