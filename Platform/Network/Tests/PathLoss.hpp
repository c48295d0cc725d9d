#pragma once

#include <cstdint>
#include <string>

namespace platform::testing {

// Makes an established loopback TCP connection of this process learn at once
// that its peer is unreachable, as a router's "host unreachable" would tell
// it: the client socket is set to take such reports as errors (the kernel
// otherwise keeps them until its retransmissions time out, minutes later,
// and then fails the same way), and the report is sent, quoting the client's
// next sequence number. Needs CAP_NET_RAW and CAP_NET_ADMIN; returns why it
// cannot, or an empty text once the report is on its way.
std::string reportHostUnreachable(std::uint16_t clientPort, std::uint16_t serverPort);

}  // namespace platform::testing
