#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rtmpfluvio {

// Text a peer chose, made safe for one log line: at most `limit` of its bytes,
// every byte outside printable ASCII (and the backslash) written as \xNN, and
// the count of bytes left out appended.
std::string peerText(std::string_view text, std::size_t limit = 64);

}  // namespace rtmpfluvio
