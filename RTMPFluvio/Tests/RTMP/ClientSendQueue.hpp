#pragma once

#include <cstdint>

namespace rtmpfluvio::testing {

// This process's socket connected to 127.0.0.1:`port`, or -1.
int clientSocketTo(std::uint16_t port);

// The bytes the system holds for sending on `socket`: not yet sent, and
// sent but not yet acknowledged.
int sendQueueBytes(int socket);

}  // namespace rtmpfluvio::testing
